#pragma once
// The moment a window was asked for, for windows opened from outside our own events (a panel's menu).

#include <cstdint>

typedef struct _GtkWidget GtkWidget;

// Stamps a toplevel with the X server's time now as the user's last action in it (realising it first) and
// gives that time; where there is no X server, the current event's time.
uint32_t stampUserTime(GtkWidget* window);
