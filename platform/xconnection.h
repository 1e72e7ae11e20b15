#pragma once
// The X connection Qt's xcb platform opened for this application, for the
// platform services that talk to the X server themselves (hot keys, window
// shapes). Null on any other platform (offscreen, Wayland).

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

inline xcb_connection_t* QtXConnection() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}
