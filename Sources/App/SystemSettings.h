#pragma once
// The system's settings the application follows: a dark or light appearance, and whether the user asked
// for less motion. Read when needed; changes arrive as calls on the application core.

class SystemSettings {
public:
    virtual ~SystemSettings() = default;
    virtual bool darkAppearance() const = 0;
    virtual bool reduceMotion() const = 0;
};
