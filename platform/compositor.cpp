#include "platform/compositor.h"

#include <QByteArray>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <string>

struct CCompositorWatch::Impl {
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = XCB_NONE;
  xcb_atom_t selection = XCB_NONE;
  uint8_t notifyEvent = 0;
  std::unique_ptr<QSocketNotifier> notifier;

  ~Impl() {
    notifier.reset();
    if (connection) xcb_disconnect(connection);
  }
};

CCompositorWatch& CCompositorWatch::Instance() {
  // Lives until the process ends, so that windows may ask while they close.
  static CCompositorWatch* watch = new CCompositorWatch;
  return *watch;
}

CCompositorWatch::CCompositorWatch() : d_(std::make_unique<Impl>()) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return;
  }
  d_->connection = c;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) return;
  d_->root = it.data->root;

  const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
  if (auto* atom = xcb_intern_atom_reply(
          c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr)) {
    d_->selection = atom->atom;
    std::free(atom);
  }
  if (d_->selection == XCB_NONE) return;

  // Without XFixes the state is read once and not followed.
  const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
  if (xfixes && xfixes->present) {
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    d_->notifyEvent = static_cast<uint8_t>(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    xcb_xfixes_select_selection_input(c, d_->root, d_->selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    d_->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(d_->notifier.get(), &QSocketNotifier::activated, this, &CCompositorWatch::ReadEvents);
  }
  xcb_flush(c);
  Refresh();
}

CCompositorWatch::~CCompositorWatch() = default;

void CCompositorWatch::Refresh() {
  xcb_connection_t* c = d_->connection;
  bool running = false;
  if (auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, d_->selection), nullptr)) {
    running = owner->owner != XCB_NONE;
    std::free(owner);
  }
  // Events that arrived while waiting for the reply are in xcb's queue, where
  // the socket notifier does not see them.
  bool again = false;
  while (xcb_generic_event_t* ev = xcb_poll_for_queued_event(c)) {
    again = again || (ev->response_type & 0x7F) == d_->notifyEvent;
    std::free(ev);
  }
  if (running != running_) {
    running_ = running;
    emit Changed(running);
  }
  if (again) Refresh();
}

void CCompositorWatch::ReadEvents() {
  xcb_connection_t* c = d_->connection;
  if (xcb_connection_has_error(c)) {
    d_->notifier->setEnabled(false);  // the display went away
    return;
  }
  bool changed = false;
  while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
    changed = changed || (ev->response_type & 0x7F) == d_->notifyEvent;
    std::free(ev);
  }
  if (changed) Refresh();
}
