# Leaves on the root window the marker of a window manager: "live" names a window that names
# itself, "dead" one that was destroyed, "stranger" one that lives but carries no marker of its
# own. The windows outlive the script (they are kept when it disconnects).
import ctypes, sys
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XCreateSimpleWindow.restype = ctypes.c_ulong
x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                    ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSetCloseDownMode.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
x11.XSetCloseDownMode(display, 1)  # RetainPermanent
root = x11.XDefaultRootWindow(display)
check = x11.XInternAtom(display, b"_NET_SUPPORTING_WM_CHECK", 0)
window = x11.XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0)
value = ctypes.c_ulong(window)
owners = [root] if sys.argv[1] == "stranger" else [root, window]
for owner in owners:
    x11.XChangeProperty(display, owner, check, 33, 32, 0, ctypes.byref(value), 1)  # WINDOW, replace
if sys.argv[1] == "dead":
    x11.XDestroyWindow(display, window)
x11.XSync(display, 0)
x11.XCloseDisplay(display)
