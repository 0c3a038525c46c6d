# Waits until a window manager runs on the display: the root window's _NET_SUPPORTING_WM_CHECK
# names a window that names itself the same way. Exits 1 if none came within GUARD seconds (the
# hang guard).
#
# Usage: wait_for_manager.py GUARD
import ctypes, sys, time

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
                                   ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
                                   ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore = Handler(lambda d, e: 0)  # the named window may be gone by the time it is read
x11.XSetErrorHandler(ctypes.cast(ignore, ctypes.c_void_p))
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
root = x11.XDefaultRootWindow(display)
check = x11.XInternAtom(display, b"_NET_SUPPORTING_WM_CHECK", 0)
WINDOW = 33


def marker(window):
    kind, size, count, after = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
    data = ctypes.c_void_p()
    if x11.XGetWindowProperty(display, window, check, 0, 1, 0, WINDOW, ctypes.byref(kind), ctypes.byref(size),
                              ctypes.byref(count), ctypes.byref(after), ctypes.byref(data)) != 0:
        return None
    value = ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[0] if data.value and count.value == 1 else None
    if data.value:
        x11.XFree(data)
    return value


start = time.monotonic()
while time.monotonic() - start < int(sys.argv[1]):
    window = marker(root)
    if window and marker(window) == window:
        x11.XCloseDisplay(display)
        sys.exit(0)
    time.sleep(0.05)
x11.XCloseDisplay(display)
sys.exit(1)
