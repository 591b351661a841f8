#include "app/LockKeyState.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <dlfcn.h>

namespace tavrin::app {

#if QT_CONFIG(xcb)
namespace {

// Xlib is already loaded by Qt's X11 platform plugin; its functions are looked up at
// run time so the program neither links nor needs Xlib on other platforms.
using Atom = unsigned long;
using InternAtomFunction = Atom (*)(Display*, const char*, int);
using GetNamedIndicatorFunction = int (*)(Display*, Atom, int*, int*, void*, int*);

struct Xkb {
    InternAtomFunction internAtom = nullptr;
    GetNamedIndicatorFunction getNamedIndicator = nullptr;
    Atom caps = 0, num = 0, scroll = 0;
    bool ready = false;
};

bool IndicatorOn(Display* display, const Xkb& xkb, Atom name)
{
    int on = 0;
    // XkbGetNamedIndicator(display, name, &index, &on, &map, &real): the device is the
    // core keyboard by default.
    return xkb.getNamedIndicator(display, name, nullptr, &on, nullptr, nullptr) && on;
}

} // namespace
#endif

LockKeyState ReadLockKeyState()
{
    LockKeyState state;
#if QT_CONFIG(xcb)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr)
        return state;
    static Xkb xkb = [display] {
        Xkb loaded;
        void* library = ::dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (library == nullptr)
            return loaded;
        loaded.internAtom = reinterpret_cast<InternAtomFunction>(::dlsym(library, "XInternAtom"));
        loaded.getNamedIndicator = reinterpret_cast<GetNamedIndicatorFunction>(::dlsym(library, "XkbGetNamedIndicator"));
        if (loaded.internAtom == nullptr || loaded.getNamedIndicator == nullptr)
            return loaded;
        loaded.caps = loaded.internAtom(display, "Caps Lock", 0);
        loaded.num = loaded.internAtom(display, "Num Lock", 0);
        loaded.scroll = loaded.internAtom(display, "Scroll Lock", 0);
        loaded.ready = true;
        return loaded;
    }();
    if (!xkb.ready)
        return state;
    state.known = true;
    state.capsLock = IndicatorOn(display, xkb, xkb.caps);
    state.numLock = IndicatorOn(display, xkb, xkb.num);
    state.scrollLock = IndicatorOn(display, xkb, xkb.scroll);
#endif
    return state;
}

} // namespace tavrin::app
