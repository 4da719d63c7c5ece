"""2D transforms as the records store them: six numbers (xx, xy, yx, yy,
x0, y0) mapping (x, y) to (xx*x + xy*y + x0, yx*x + yy*y + y0).

    vokri.compose(vokri.translate(2, 0), vokri.rotate(math.pi / 4), vokri.scale(1.5))

applies the scale first, then the rotation, then the translation, as
matrices multiply."""
import math

IDENTITY = (1.0, 0.0, 0.0, 1.0, 0.0, 0.0)


def translate(x, y):
    return (1.0, 0.0, 0.0, 1.0, float(x), float(y))


def rotate(angle, about=(0.0, 0.0)):
    """A rotation by `angle` radians, counter-clockwise (user y points up),
    about the point `about`."""
    c, s = math.cos(angle), math.sin(angle)
    r = (c, -s, s, c, 0.0, 0.0)
    if about == (0.0, 0.0) or tuple(about) == (0, 0):
        return r
    return compose(translate(*about), r, translate(-about[0], -about[1]))


def scale(sx, sy=None):
    sy = sx if sy is None else sy
    return (float(sx), 0.0, 0.0, float(sy), 0.0, 0.0)


def compose(*transforms):
    """The product of the transforms: the last is applied first."""
    out = IDENTITY
    for t in transforms:
        a = out
        b = tuple(float(v) for v in t)
        if len(b) != 6:
            raise ValueError(f"a transform has six numbers (xx, xy, yx, yy, x0, y0), got {len(b)}")
        out = (a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3],
               a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3],
               a[0] * b[4] + a[1] * b[5] + a[4], a[2] * b[4] + a[3] * b[5] + a[5])
    return out


def apply(transform, x, y):
    """The point (x, y) mapped by `transform`."""
    xx, xy, yx, yy, x0, y0 = transform
    return (xx * x + xy * y + x0, yx * x + yy * y + y0)
