// Usage: virtual-pointer
//        virtual-pointer drag X0 Y0 X1 Y1 WIDTH HEIGHT
// Gives a headless wlroots compositor's seat a pointer (zwlr_virtual_pointer_v1) until it is ended (SIGTERM):
// without one the seat has no pointer capability, so clients never see the clicks that `swaymsg seat seat0
// cursor press button1` makes. With `drag`, presses the left button at X0,Y0, moves to X1,Y1 and lets go
// there (positions in a WIDTH × HEIGHT layout), then ends: sway's own cursor commands move the cursor under
// a held button without telling the client. The protocol's two interfaces are spelled out here, as Debian
// ships no XML.
#include <wayland-client.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

extern const wl_interface virtualPointer;
const wl_interface* types[] = {nullptr, nullptr, nullptr, nullptr, nullptr, &wl_seat_interface, &virtualPointer};
const wl_message managerRequests[] = {{"create_virtual_pointer", "?on", types + 5}, {"destroy", "", types}};
const wl_interface manager = {"zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0, nullptr};
const wl_message pointerRequests[] = {{"motion", "uff", types},           {"motion_absolute", "uuuuu", types},
                                      {"button", "uuu", types},           {"axis", "uuf", types},
                                      {"frame", "", types},               {"axis_source", "u", types},
                                      {"axis_stop", "uu", types},         {"axis_discrete", "uufi", types},
                                      {"destroy", "", types}};
const wl_interface virtualPointer = {"zwlr_virtual_pointer_v1", 1, 9, pointerRequests, 0, nullptr};

struct Globals {
    wl_seat* seat = nullptr;
    wl_proxy* manager = nullptr;
};

volatile std::sig_atomic_t done = 0;

}  // namespace

int main(int argc, char** argv) {
    const bool drag = argc == 8 && std::strcmp(argv[1], "drag") == 0;
    if (argc != 1 && !drag) {
        std::fputs("usage: virtual-pointer [drag X0 Y0 X1 Y1 WIDTH HEIGHT]\n", stderr);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("virtual-pointer: no Wayland display\n", stderr);
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {
        +[](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
            auto* globals = static_cast<Globals*>(data);
            if (std::strcmp(interface, "wl_seat") == 0 && !globals->seat)
                globals->seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
            if (std::strcmp(interface, manager.name) == 0)
                globals->manager = static_cast<wl_proxy*>(wl_registry_bind(r, name, &manager, 1));
        },
        +[](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &g);
    wl_display_roundtrip(display);
    if (!g.manager) {
        std::fputs("virtual-pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n", stderr);
        return 1;
    }
    wl_proxy* pointer = wl_proxy_marshal_constructor(g.manager, 0, &virtualPointer, g.seat, nullptr);
    wl_display_roundtrip(display);
    if (drag) {
        uint32_t v[6];
        for (int i = 0; i < 6; ++i) v[i] = uint32_t(std::strtoul(argv[i + 2], nullptr, 10));
        uint32_t time = 1;
        const auto step = [&](auto&& send) {
            send();
            wl_proxy_marshal(pointer, 4);  // frame
            wl_display_roundtrip(display);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            time += 150;
        };
        constexpr uint32_t left = 0x110;  // BTN_LEFT
        step([&] { wl_proxy_marshal(pointer, 1, time, v[0], v[1], v[4], v[5]); });
        step([&] { wl_proxy_marshal(pointer, 2, time, left, 1u); });
        step([&] { wl_proxy_marshal(pointer, 1, time, v[2], v[3], v[4], v[5]); });
        step([&] { wl_proxy_marshal(pointer, 2, time, left, 0u); });
        done = 1;
    }
    std::signal(SIGTERM, +[](int) { done = 1; });
    std::signal(SIGINT, +[](int) { done = 1; });
    if (!drag) {
        std::puts("virtual-pointer: ready");
        std::fflush(stdout);
    }
    while (!done && wl_display_dispatch(display) >= 0) {
    }
    wl_proxy_marshal(pointer, 8);
    wl_proxy_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
