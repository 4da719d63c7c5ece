"""Animations: a scene that changes over time, rendered frame by frame, in
order, on this thread or on any executor (threads, processes, a Dask
cluster), to arrays, frame files or a video. Each frame is one independent
library call, so the bytes are the same however the frames are spread."""
import base64
import collections
import ctypes as C
import math
import os
import sys
import tempfile
import time

from . import _records as R
from ._library import lib
from .errors import RenderError, call, call_handle
from .render import png_bytes, render_pixels, same_drawing

_MODES = ("rgb", "rgba")


class Animation:
    """`frames` frames (or `duration` seconds) at `fps` frames per second;
    frame k shows `scene_at(k / fps)`, where `scene_at` takes a time in
    seconds and returns a vokri.Scene. With a process pool, `scene_at` must
    pickle (a function defined at module level); Dask's cloudpickle also
    takes lambdas. In a notebook, an Animation shows as an embedded video."""

    def __init__(self, scene_at, frames=None, fps=30.0, duration=None):
        if fps is not None and (isinstance(fps, bool) or not isinstance(fps, (int, float)) or
                                not (math.isfinite(fps) and fps > 0)):
            raise ValueError(f"fps: expected a frame rate above 0, got {fps!r}")
        if (frames is None) == (duration is None):
            raise ValueError("give either frames (a count) or duration (seconds)")
        if duration is not None:
            if isinstance(duration, bool) or not isinstance(duration, (int, float)) or \
                    not (math.isfinite(duration) and duration > 0) or fps is None:
                raise ValueError(f"duration: expected seconds above 0 (with an fps), got {duration!r}")
            frames = max(1, math.floor(duration * fps + 0.5))  # rounded half away from zero, as in scene files
        if isinstance(frames, bool) or not isinstance(frames, int) or frames < 1:
            raise ValueError(f"frames: expected an integer of at least 1, got {frames!r}")
        self._scene_at, self.frame_count, self.fps = scene_at, frames, fps

    def __len__(self):
        return self.frame_count

    def __repr__(self):
        return f"<vokri.Animation: {self.frame_count} frames at {self.fps or 0:g} fps>"

    @property
    def duration(self):
        """The length in seconds (0 for a still scene)."""
        return self.frame_count / self.fps if self.fps else 0.0

    def time_of(self, k):
        """The time of frame k in seconds (0 for a still scene)."""
        return k / self.fps if self.fps else 0.0

    def scene_at(self, t):
        return self._scene_at(t)

    def scene(self, k):
        """The Scene of frame k."""
        if not 0 <= k < self.frame_count:
            raise IndexError(f"frame {k} is outside 0..{self.frame_count - 1}")
        return self.scene_at(self.time_of(k))

    def _repr_html_(self):
        """The animation as an embedded H.264 video, for notebooks."""
        with tempfile.TemporaryDirectory(prefix="vokri-") as d:
            path = os.path.join(d, "animation.mp4")
            render_video(self, path)
            with open(path, "rb") as f:
                data = base64.b64encode(f.read()).decode("ascii")
        return f'<video controls loop autoplay muted src="data:video/mp4;base64,{data}"></video>'


_SAME = "same as the frame before"


def _render_frame(animation, k, what, canvas, before=None):
    """Frame k (see _render_scene); `before` is the number of the frame
    before it, or None."""
    return _render_scene(animation.scene(k), k, what, canvas,
                         None if before is None else animation.scene(before))


def _render_scene(scene, k, what, canvas, before=None):
    """Frame k: (h, w, 4) or (h, w, 3) pixels, or the bytes of a PNG file;
    _SAME when it draws what the Scene `before` drew."""
    if before is not None and same_drawing(scene, before, *canvas):
        return _SAME
    try:
        if what == "rgba":
            return render_pixels(scene, R.RGBA0, *canvas, frame=k)
        if what in ("rgb", "rgb0"):
            px = render_pixels(scene, R.RGB0, *canvas, frame=k)
            return px if what == "rgb0" else px[..., :3]
        return png_bytes(scene, *canvas, mode=R.PNG_ALPHA if what == "png_alpha" else R.PNG, frame=k)
    except RenderError as e:
        raise RenderError(e.error, e.index, e.kind, frame=k) from None


def _dask_client(executor):
    """The Dask client behind `executor` (a Client, or its get_executor()), or None."""
    for candidate in (executor, getattr(executor, "_client", None)):
        if candidate is not None and hasattr(candidate, "scatter") and hasattr(candidate, "nthreads"):
            return candidate
    return None


def _submitter(executor, animation, what, canvas):
    """submit(k) -> an object with .result(), and the number of workers."""
    client = _dask_client(executor)
    if client is not None:
        # Sent to every worker once; the tasks carry only a reference.
        shared = client.scatter(animation, broadcast=True, hash=False)
        workers = max(1, sum(client.nthreads().values()))
        return (lambda k, before: client.submit(_render_frame, shared, k, what, canvas, before, pure=False)), workers
    workers = getattr(executor, "_max_workers", None) or os.cpu_count() or 1
    return (lambda k, before: executor.submit(_render_frame, animation, k, what, canvas, before)), workers


def _write_atomically(path, data):
    folder = os.path.dirname(path) or "."
    os.makedirs(folder, exist_ok=True)
    fd, temp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".tmp.", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(temp, 0o666 & ~_UMASK)
        os.replace(temp, path)
    except BaseException:
        os.unlink(temp)
        raise


def _read_umask():
    # The umask can only be read by setting it; done once, at import, rather
    # than while other threads may be creating files.
    mask = os.umask(0)
    os.umask(mask)
    return mask


_UMASK = _read_umask()


def _frame_path(out, k):
    try:
        return out % k
    except TypeError:
        raise ValueError(f"out: {out!r} needs one frame-number field such as %05d") from None


class _Progress:
    """A progress bar (tqdm when it is installed, else a plain line on
    standard error, redrawn a few times a second)."""

    def __init__(self, total, enabled):
        self.total, self.done, self.bar, self.enabled = total, 0, None, enabled
        self.start = self.last = time.monotonic()
        if not enabled:
            return
        try:
            from tqdm.auto import tqdm
            self.bar = tqdm(total=total, unit="frame", desc="vokri")
        except ImportError:
            self.bar = None

    def step(self):
        self.done += 1
        if not self.enabled:
            return
        if self.bar is not None:
            self.bar.update(1)
            return
        now = time.monotonic()
        if now - self.last >= 0.2 or self.done == self.total:
            self.last = now
            rate = self.done / max(now - self.start, 1e-9)
            sys.stderr.write(f"\rvokri: frame {self.done} of {self.total}, {rate:.1f} frames/s")
            sys.stderr.flush()

    def close(self):
        if not self.enabled:
            return
        if self.bar is not None:
            self.bar.close()
        else:
            sys.stderr.write("\n")


class _Repeater:
    """Stands in the earlier result for a frame that draws the same; arrays
    are copied, so that a caller may change the one it was given."""

    def __init__(self):
        self.last = None

    def __call__(self, result):
        if result is _SAME:
            return self.last.copy() if hasattr(self.last, "copy") else self.last
        self.last = result
        return result


def _frames(animation, frames, executor, what, canvas, window, progress):
    """Yields (k, result) in frame order. A frame that draws what the frame
    before it drew is not rendered again: its result is a copy."""
    frames = list(range(animation.frame_count) if frames is None else frames)
    bar = _Progress(len(frames), progress)
    repeat = _Repeater()
    try:
        if executor is None:
            before = None
            for k in frames:
                scene = animation.scene(k)
                result = repeat(_render_scene(scene, k, what, canvas, before))
                before = scene
                bar.step()
                yield k, result
            return
        submit, workers = _submitter(executor, animation, what, canvas)
        limit = window or 2 * workers
        pending = collections.deque()
        try:
            previous = None
            for k in frames:
                pending.append((k, submit(k, previous)))
                previous = k
                if len(pending) >= limit:
                    k0, future = pending.popleft()
                    result = repeat(future.result())
                    bar.step()
                    yield k0, result
            while pending:
                k0, future = pending.popleft()
                result = repeat(future.result())
                bar.step()
                yield k0, result
        finally:
            for _, future in pending:
                future.cancel()
    finally:
        bar.close()


def render_frames(animation, frames=None, executor=None, *, mode="rgb", out=None, resume=False, window=None,
                  progress=False, width=None, height=None, scale=None):
    """Renders the frames of `animation` (a vokri.Animation, e.g. from
    load_animation) in order and yields, per frame, the pixels: mode "rgb"
    an (h, w, 3) array over the dark background, mode "rgba" an (h, w, 4)
    straight-alpha array. With `out`, a pattern such as
    "out/frame_%05d.png", writes each frame instead as a PNG file (mode
    "rgba": a straight-alpha PNG, like vokri-render --alpha), whole or not at
    all, in folders made as needed, and yields its path; `resume` skips files
    that exist and removes what a killed run left of the others.

    `frames`: frame numbers (default: all). `executor`: None renders here;
    any concurrent.futures.Executor, a dask.distributed Client or its
    get_executor() spreads the frames, with at most `window` (default: twice
    the workers) in flight. A frame that draws exactly what the frame before
    it drew (a hold) is not rendered again: it is a copy of that frame.
    `progress` shows a progress bar. `width`, `height` and `scale` override
    the canvas. Raises RenderError (with
    .frame) for a frame the library fails.
    """
    if mode not in _MODES:
        raise ValueError(f"mode: expected 'rgb' or 'rgba', got {mode!r}")
    canvas = (width, height, scale)
    if out is None:
        for _, pixels in _frames(animation, frames, executor, mode, canvas, window, progress):
            yield pixels
        return
    wanted = list(range(animation.frame_count) if frames is None else frames)
    paths = {k: _frame_path(out, k) for k in wanted}
    if resume:
        for path in paths.values():
            lib.vokri_scenefile_remove_stale_temporaries(os.fsencode(path))
        wanted = [k for k in wanted if not os.path.exists(paths[k])]
    what = "png_alpha" if mode == "rgba" else "png"
    for k, data in _frames(animation, wanted, executor, what, canvas, window, progress):
        _write_atomically(paths[k], data)
        yield paths[k]


def render_video(animation, path, frames=None, executor=None, *, alpha=False, progress=False, width=None,
                 height=None, scale=None):
    """Writes the frames of `animation` as a video through ffmpeg, as
    vokri-render --video does: by the extension (any case) .mp4 (H.264),
    .webm (VP9), .mov (ProRes 4444) or .gif; `alpha` keeps straight alpha
    (.webm, .mov, .gif). The file appears whole or not at all. Returns
    `path`."""
    canvas = (width, height, scale)
    frames = None if frames is None else list(frames)
    if frames == []:
        raise ValueError("frames: a video needs at least one frame")
    first = animation.scene(0 if frames is None else frames[0])
    w = first.width if width is None else width
    h = first.height if height is None else height
    fps = animation.fps or 30.0
    video = call_handle(lib.vokri_scenefile_video_open, os.fsencode(path), int(w), int(h), float(fps), int(alpha))
    try:
        for _, px in _frames(animation, frames, executor, "rgba" if alpha else "rgb0", canvas, None, progress):
            call(lib.vokri_scenefile_video_write, video, px.ctypes.data_as(C.POINTER(C.c_uint32)), px.shape[0] * px.shape[1])
    except BaseException:
        lib.vokri_scenefile_video_free(video)
        raise
    call(lib.vokri_scenefile_video_finish, video)
    return path
