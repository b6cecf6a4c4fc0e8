# Saves what an X window shows (the root window unless an id is given) as a PNG:
#   screenshot.py out.png [window-id]
import ctypes, ctypes.util, sys
from PIL import Image
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
class Attr(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int)] + [("pad", ctypes.c_char * 256)]
class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int), ("format", ctypes.c_int),
                ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]
d = x.XOpenDisplay(None)
if not d: sys.exit("no display")
win = int(sys.argv[2], 0) if len(sys.argv) > 2 else x.XDefaultRootWindow(d)
a = Attr()
x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Attr)]
if not x.XGetWindowAttributes(d, win, ctypes.byref(a)): sys.exit("no window")
x.XGetImage.restype = ctypes.POINTER(XImage)
x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
img = x.XGetImage(d, win, 0, 0, a.width, a.height, 0xFFFFFFFF, 2)
if not img: sys.exit("no image")
i = img.contents
buf = ctypes.string_at(i.data, i.bytes_per_line * i.height)
Image.frombuffer("RGB", (i.width, i.height), buf, "raw", "BGRX", i.bytes_per_line, 1).save(sys.argv[1])
