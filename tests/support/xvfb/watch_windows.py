# Watches top-level windows by name as a window manager would and writes when each was first
# mapped and last unmapped, and its first geometry.
#
# Usage: watch_windows.py GUARD RESULTS READY NAME...
#
# For each NAME it writes to RESULTS NAMEfirst=, NAMElast= (counted in the X server's own order
# of events; -1 never; a window still mapped at the end counts as unmapped after everything) and
# NAMEgeometry=WxH+X+Y. It takes the maps into its own hands, as a window manager does, and grants
# each only after reading the window's name and place: a window that stands for a few
# milliseconds cannot slip past a watcher the scheduler has not run yet. It writes "watching" to
# READY (a fifo) once that holds, and ends once the last NAME has shown and every other one is
# gone again, or after GUARD seconds (the hang guard).
import ctypes, select, sys, time

class Attrs(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

# The head every structure event shares: type, serial, send_event, display, then two windows
# (for the requests parent and window, for the notifications event and window).
class Head(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("first", ctypes.c_ulong), ("window", ctypes.c_ulong)]

class ConfigureRequest(ctypes.Structure):
    _fields_ = Head._fields_ + [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                                ("above", ctypes.c_ulong), ("detail", ctypes.c_int), ("value_mask", ctypes.c_ulong)]

class Changes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("sibling", ctypes.c_ulong), ("stack_mode", ctypes.c_int)]

class XEvent(ctypes.Union):
    _fields_ = [("head", Head), ("configure", ConfigureRequest), ("pad", ctypes.c_long * 24)]

DESTROY, UNMAP, MAP, MAP_REQUEST, CONFIGURE_REQUEST = 17, 18, 19, 20, 23
SUBSTRUCTURE_NOTIFY, SUBSTRUCTURE_REDIRECT = 1 << 19, 1 << 20

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XConfigureWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.POINTER(Changes)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Attrs)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore = Handler(lambda d, e: 0)  # windows may vanish between the calls
x11.XSetErrorHandler(ctypes.cast(ignore, ctypes.c_void_p))
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
root = x11.XDefaultRootWindow(display)
guard, results, ready_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
names = sys.argv[4:]
x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY | SUBSTRUCTURE_REDIRECT)
x11.XSync(display, 0)
with open(ready_path, "w") as ready:
    ready.write("watching\n")

order = 0
known, mapped = {}, set()  # window -> name; windows of the watched names now mapped
first, last, geometry = {}, {}, {}

def handle(event):
    global order
    order += 1
    kind, window = event.head.type, event.head.window
    if kind == MAP_REQUEST:
        # The program waits for its map, so the window is there to be read.
        name = ctypes.c_char_p()
        if x11.XFetchName(display, window, ctypes.byref(name)) and name.value:
            text = name.value.decode("latin-1")
            x11.XFree(name)
            a = Attrs()
            if text in names and x11.XGetWindowAttributes(display, window, ctypes.byref(a)):
                known[window] = text
                geometry.setdefault(text, "%dx%d+%d+%d" % (a.width, a.height, a.x, a.y))
        x11.XMapWindow(display, window)
    elif kind == CONFIGURE_REQUEST:
        c = event.configure
        changes = Changes(c.x, c.y, c.width, c.height, c.border_width, c.above, c.detail)
        x11.XConfigureWindow(display, window, ctypes.c_uint(c.value_mask & 0x7F), ctypes.byref(changes))
    elif kind == MAP and window in known:
        first.setdefault(known[window], order)
        mapped.add(window)
    elif kind in (UNMAP, DESTROY) and window in mapped:
        last[known[window]] = order
        mapped.discard(window)

start = time.monotonic()
while time.monotonic() - start < guard:
    if not x11.XPending(display):
        select.select([x11.XConnectionNumber(display)], [], [], 0.5)
        continue
    event = XEvent()
    x11.XNextEvent(display, ctypes.byref(event))
    handle(event)
    shown = {known[w] for w in mapped}
    if names[-1] in shown and not shown - {names[-1]}:
        break
# Maps asked for before the redirect ends are still this watcher's to grant.
x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY)
x11.XSync(display, 0)
while x11.XPending(display):
    event = XEvent()
    x11.XNextEvent(display, ctypes.byref(event))
    handle(event)
order += 1
for w in mapped:
    last[known[w]] = order
with open(results, "w") as out:
    for text in names:
        out.write("%sfirst=%s\n%slast=%s\n%sgeometry=%s\n"
                  % (text, first.get(text, -1), text, last.get(text, -1), text, geometry.get(text, "")))
x11.XCloseDisplay(display)
