#include "wizard/x11compositor.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <dlfcn.h>
#include <xcb/xcb.h>

namespace calvenza {

namespace {

// libxcb is already in the process whenever Qt runs on X11 (its xcb plugin links it); we reach
// it there rather than link it ourselves, so builds without X11 headers stay possible.
struct Xcb
{
    decltype(&xcb_intern_atom) internAtom = nullptr;
    decltype(&xcb_intern_atom_reply) internAtomReply = nullptr;
    decltype(&xcb_get_selection_owner) getSelectionOwner = nullptr;
    decltype(&xcb_get_selection_owner_reply) getSelectionOwnerReply = nullptr;
    bool ok = false;
};

Xcb loadXcb()
{
    Xcb x;
    void *lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!lib)
        return x;
    x.internAtom = reinterpret_cast<decltype(x.internAtom)>(dlsym(lib, "xcb_intern_atom"));
    x.internAtomReply
        = reinterpret_cast<decltype(x.internAtomReply)>(dlsym(lib, "xcb_intern_atom_reply"));
    x.getSelectionOwner
        = reinterpret_cast<decltype(x.getSelectionOwner)>(dlsym(lib, "xcb_get_selection_owner"));
    x.getSelectionOwnerReply = reinterpret_cast<decltype(x.getSelectionOwnerReply)>(
        dlsym(lib, "xcb_get_selection_owner_reply"));
    x.ok = x.internAtom && x.internAtomReply && x.getSelectionOwner && x.getSelectionOwnerReply;
    // The library stays loaded by Qt; dropping our reference changes nothing.
    dlclose(lib);
    return x;
}

} // namespace

bool translucencyWorks()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *conn = x11 ? x11->connection() : nullptr;
    if (!conn)
        return false;
    const Xcb xcb = loadXcb();
    if (!xcb.ok)
        return false; // cannot tell: shape the window, which looks right either way
    static constexpr char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom
        = xcb.internAtomReply(conn, xcb.internAtom(conn, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner
        = xcb.getSelectionOwnerReply(conn, xcb.getSelectionOwner(conn, atom->atom), nullptr);
    const bool composited = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return composited;
}

} // namespace calvenza
