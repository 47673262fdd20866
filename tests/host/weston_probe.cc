// A module of the tests' Wayland compositor (weston with its headless
// back-end). It makes the compositor a desktop as a person has one, and
// lets a test see and close windows as that person would:
//  - a seat, as every desktop compositor has: GTK takes its keymap from the
//    seat and logs criticals on a compositor without one;
//  - server-side decorations offered the way KDE's compositor offers them,
//    so GTK draws no title bar into the window: the window the compositor
//    places is the content, 800 x 600, as on X11;
//  - the debug stream "corvella-windows": one line per top-level window,
//    "PID WIDTH HEIGHT TITLE", the size being the window's geometry;
//  - the debug stream "corvella-close": asks every top-level window to
//    close, as its close button does (xdg_toplevel.close).
// No Wayland client may see or close another's windows: a test reads these
// streams with weston-debug, from a compositor started with --debug.
#include <libweston-desktop/libweston-desktop.h>
#include <libweston/libweston.h>
#include <libweston/weston-log.h>
#include <weston.h>

// Exported by libweston for its back-ends, but not declared in its headers.
extern "C" void weston_seat_init(struct weston_seat* seat, struct weston_compositor* compositor,
                                 const char* seat_name);

namespace {

// KDE's server-decoration protocol, as its description gives it: the
// manager announces a default mode, and each surface's decoration object
// is told the mode in force.
constexpr uint32_t kServerSideMode = 2;
const wl_message kDecorationRequests[] = {{"release", "", nullptr}, {"request_mode", "u", nullptr}};
const wl_message kModeEvent[] = {{"mode", "u", nullptr}};
const wl_interface kDecoration = {
    "org_kde_kwin_server_decoration", 1, 2, kDecorationRequests, 1, kModeEvent};
const wl_interface* kCreateTypes[] = {&kDecoration, &wl_surface_interface};
const wl_message kManagerRequests[] = {{"create", "no", kCreateTypes}};
const wl_message kDefaultModeEvent[] = {{"default_mode", "u", nullptr}};
const wl_interface kDecorationManager = {
    "org_kde_kwin_server_decoration_manager", 1, 1, kManagerRequests, 1, kDefaultModeEvent};

struct DecorationRequests {
  void (*release)(wl_client*, wl_resource*);
  void (*request_mode)(wl_client*, wl_resource*, uint32_t);
};
// Whatever the client asks for, the mode stays server-side.
const DecorationRequests kDecorationHandlers = {
    [](wl_client*, wl_resource* decoration) { wl_resource_destroy(decoration); },
    [](wl_client*, wl_resource* decoration, uint32_t) {
      wl_resource_post_event(decoration, 0, kServerSideMode);
    }};

struct ManagerRequests {
  void (*create)(wl_client*, wl_resource*, uint32_t, wl_resource*);
};
const ManagerRequests kManagerHandlers = {
    [](wl_client* client, wl_resource* manager, uint32_t id, wl_resource*) {
      wl_resource* decoration =
          wl_resource_create(client, &kDecoration, wl_resource_get_version(manager), id);
      if (decoration == nullptr) return wl_client_post_no_memory(client);
      wl_resource_set_implementation(decoration, &kDecorationHandlers, nullptr, nullptr);
      wl_resource_post_event(decoration, 0, kServerSideMode);
    }};

void BindDecorationManager(wl_client* client, void*, uint32_t version, uint32_t id) {
  wl_resource* manager =
      wl_resource_create(client, &kDecorationManager, static_cast<int>(version), id);
  if (manager == nullptr) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(manager, &kManagerHandlers, nullptr, nullptr);
  wl_resource_post_event(manager, 0, kServerSideMode);
}

// Calls `visit` with each top-level window that has a view in a layer.
template <typename Visit>
void ForEachWindow(weston_compositor* compositor, Visit visit) {
  weston_layer* layer = nullptr;
  wl_list_for_each(layer, &compositor->layer_list, link) {
    weston_view* view = nullptr;
    wl_list_for_each(view, &layer->view_list.link, layer_link.link) {
      weston_desktop_surface* window = weston_surface_get_desktop_surface(view->surface);
      if (window != nullptr) visit(window);
    }
  }
}

void ListWindows(weston_log_subscription* subscription, void* data) {
  ForEachWindow(static_cast<weston_compositor*>(data), [subscription](auto* window) {
    const weston_geometry geometry = weston_desktop_surface_get_geometry(window);
    const char* title = weston_desktop_surface_get_title(window);
    weston_log_subscription_printf(subscription, "%d %d %d %s\n",
                                   static_cast<int>(weston_desktop_surface_get_pid(window)),
                                   geometry.width, geometry.height, title ? title : "");
  });
  weston_log_subscription_complete(subscription);
}

void CloseWindows(weston_log_subscription* subscription, void* data) {
  ForEachWindow(static_cast<weston_compositor*>(data), weston_desktop_surface_close);
  weston_log_subscription_complete(subscription);
}

}  // namespace

extern "C" WL_EXPORT int wet_module_init(weston_compositor* compositor, int*, char**) {
  // Lives as long as the compositor.
  weston_seat_init(new weston_seat(), compositor, "default");
  const bool added =
      wl_global_create(compositor->wl_display, &kDecorationManager, 1, nullptr,
                       BindDecorationManager) != nullptr &&
      weston_compositor_add_log_scope(compositor, "corvella-windows", "top-level windows",
                                      ListWindows, nullptr, compositor) != nullptr &&
      weston_compositor_add_log_scope(compositor, "corvella-close", "closes top-level windows",
                                      CloseWindows, nullptr, compositor) != nullptr;
  return added ? 0 : -1;
}
