"""Animations: a scene that changes over time, rendered frame by frame, in
order, on this thread or on any executor (threads, processes, a Dask
cluster). Each frame is one independent library call, so the bytes are the
same however the frames are spread."""
import collections
import os
import tempfile

from .render import RenderError, render_png, render_rgb, render_rgba

_MODES = ("rgb", "rgba", "png")


class Animation:
    """`frames` frames at `fps` frames per second; frame k shows
    `scene_at(k / fps)`, where `scene_at` takes a time in seconds and returns
    a vokri.Scene. With a process pool, `scene_at` must pickle (a function
    defined at module level); Dask's cloudpickle also takes lambdas."""

    def __init__(self, scene_at, frames, fps=30.0):
        if isinstance(frames, bool) or not isinstance(frames, int) or frames < 1:
            raise ValueError(f"frames: expected an integer of at least 1, got {frames!r}")
        if fps is not None and not fps > 0:
            raise ValueError(f"fps: expected a frame rate above 0, got {fps!r}")
        self._scene_at, self.frame_count, self.fps = scene_at, frames, fps

    def __len__(self):
        return self.frame_count

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


def _render_frame(animation, k, mode):
    """One frame as pixels, or as the bytes of the library's PNG file."""
    scene = animation.scene(k)
    try:
        if mode == "rgba":
            return render_rgba(scene)
        if mode == "rgb":
            return render_rgb(scene)
        with tempfile.TemporaryDirectory(prefix="vokri-") as d:
            path = os.path.join(d, "frame.png")
            render_png(path, scene)
            with open(path, "rb") as f:
                return f.read()
    except RenderError as e:
        raise RenderError(e.error, e.index, e.kind, frame=k) from None


def _dask_client(executor):
    """The Dask client behind `executor` (a Client, or its get_executor()), or None."""
    for candidate in (executor, getattr(executor, "_client", None)):
        if candidate is not None and hasattr(candidate, "scatter") and hasattr(candidate, "nthreads"):
            return candidate
    return None


def _submitter(executor, animation, mode):
    """submit(k) -> an object with .result(), and the number of workers."""
    client = _dask_client(executor)
    if client is not None:
        # Sent to every worker once; the tasks carry only a reference.
        shared = client.scatter(animation, broadcast=True, hash=False)
        workers = max(1, sum(client.nthreads().values()))
        return (lambda k: client.submit(_render_frame, shared, k, mode, pure=False)), workers
    workers = getattr(executor, "_max_workers", None) or os.cpu_count() or 1
    return (lambda k: executor.submit(_render_frame, animation, k, mode)), workers


def _write_atomically(path, data):
    folder = os.path.dirname(path) or "."
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


def render_frames(animation, frames=None, executor=None, *, mode="rgb", out=None, resume=False, window=None):
    """Renders the frames of `animation` (a vokri.Animation, e.g. from
    load_animation) in order and yields, per frame, an (h, w, 4) uint8 array
    (mode "rgb": R, G, B, 0 over the dark background; mode "rgba": straight
    alpha), or with `out`, a pattern such as "out/frame_%05d.png", writes
    each frame as the library's PNG file (whole or not at all) and yields
    its path; `resume` skips files that exist.

    `frames`: frame numbers (default: all). `executor`: None renders here;
    any concurrent.futures.Executor, a dask.distributed Client or its
    get_executor() spreads the frames, with at most `window` (default: twice
    the workers) in flight. A Dask cluster receives the animation once per
    worker. Raises RenderError (with .frame) for a frame the library fails.
    """
    if mode not in _MODES[:2]:
        raise ValueError(f"mode: expected 'rgb' or 'rgba', got {mode!r}")
    if out is not None and mode != "rgb":
        raise ValueError("out: frame files are the library's PNG (mode 'rgb'); render 'rgba' to arrays")
    frames = range(animation.frame_count) if frames is None else frames
    what = "png" if out is not None else mode
    jobs = ((k, None if out is None else _frame_path(out, k)) for k in frames)
    if resume and out is not None:
        jobs = ((k, p) for k, p in jobs if not os.path.exists(p))
    if out is not None and os.path.dirname(out) and not os.path.isdir(os.path.dirname(_frame_path(out, 0))):
        raise FileNotFoundError(f"out: the folder of {out!r} does not exist")

    def deliver(path, result):
        if path is None:
            return result
        _write_atomically(path, result)
        return path

    if executor is None:
        for k, path in jobs:
            yield deliver(path, _render_frame(animation, k, what))
        return
    submit, workers = _submitter(executor, animation, what)
    limit = window or 2 * workers
    pending = collections.deque()
    try:
        for job in jobs:
            pending.append((job[1], submit(job[0])))
            if len(pending) >= limit:
                path, future = pending.popleft()
                yield deliver(path, future.result())
        while pending:
            path, future = pending.popleft()
            yield deliver(path, future.result())
    finally:
        for _, future in pending:
            future.cancel()
