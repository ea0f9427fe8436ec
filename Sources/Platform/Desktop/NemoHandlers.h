#pragma once
// Nemo takes the desktop only when no other program's DESKTOP window is there, unless that program's
// WM_CLASS is listed in its `org.nemo.desktop ignored-desktop-handlers`: started after us (at login, or
// restarted), it would print "Desktop already managed by another application" and draw no icons at all.
// While we run, our class is on that list, so Nemo and the scenery come up in either order; on quit the
// list is as it was. A marker file in the state directory remembers that the entry is ours, so a run that
// ended without cleaning up (a crash, a kill) is made good by the next.

#include <string>
#include <vector>

class NemoHandlers {
public:
    // Lists `name` where Nemo's settings are installed; nothing where they are not.
    NemoHandlers(std::string name, std::string stateDir);
    ~NemoHandlers();
    NemoHandlers(const NemoHandlers&) = delete;
    NemoHandlers& operator=(const NemoHandlers&) = delete;

    // Whether the entry on the list is ours to take away.
    bool listed() const { return listed_; }
    // Takes our entry away again (also on destruction); the list stays as it was before us.
    void restore();

    // The list with `name` added at its end, unless some entry names it already (Nemo matches either part
    // of WM_CLASS, in any case).
    static std::vector<std::string> with(std::vector<std::string> list, const std::string& name);
    // The list without the entries that name `name`.
    static std::vector<std::string> without(std::vector<std::string> list, const std::string& name);

private:
    std::string name_, marker_;
    void* settings_ = nullptr;  // GSettings of org.nemo.desktop
    bool listed_ = false;
};
