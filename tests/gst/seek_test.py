#!/usr/bin/python3
"""Seeking with lymdec as an application does it through GStreamer's Python bindings.

Pulled from filesrc, every seek lands on the sample asked for, in time and in samples, at frame
boundaries and just around them, at the first and last samples and at positions drawn with a
fixed seed; the first buffer after it carries that sample's position and time and the bytes of
"lym -d" from there. Segment seeks end exactly at their stop with SEGMENT_DONE, a non-flushing one
loops on from there, and a flushing seek while playing plays the rest; a hundred flushing seeks
while the decoder is busy each land where asked. In a damaged stream, seeks around the lost frames
give lym -d's samples and a warning where the loss is reached. Pushed (appsrc), the stream cannot
be sought and still plays whole.
    seek_test.py PLUGIN_DIR LYM DEMO_WAVE
Exits 77 (skipped) when python3 has no GStreamer bindings.
"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

try:
    import gi

    gi.require_version("Gst", "1.0")
    from gi.repository import Gst
except (ImportError, ValueError) as missing:
    print(f"skipped: no GStreamer bindings for Python ({missing})")
    sys.exit(77)

WAIT = 20 * Gst.SECOND  # only for a pipeline that hangs; no check depends on time
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", file=sys.stderr)
    return condition


class Stream:
    """A .lym file made from demo_wave, with lym's figures and its decoded samples. A damaged one
    has 200 bytes zeroed in its middle, which loses a frame or two: lost is then the range of
    samples that "lym -d" muted."""

    def __init__(self, work, lym, demo, seconds, bits, channels, rate, damaged=False):
        self.name = f"{bits}-bit {channels}-channel {rate} Hz" + (" damaged" if damaged else "")
        base = os.path.join(work, f"s{bits}_{channels}_{rate}" + ("_damaged" if damaged else ""))
        self.path = base + ".lym"
        subprocess.run([demo, base + ".wav", str(seconds), str(bits), str(channels), str(rate)],
                       check=True)
        subprocess.run([lym, "-q", base + ".wav"], check=True)
        if damaged:
            with open(self.path, "r+b") as stream:
                stream.seek(os.path.getsize(self.path) // 2)
                stream.write(bytes(200))
        # A damaged stream decodes with its losses muted, and an exit status that says so.
        subprocess.run([lym, "-q", "-d", "-o", base + ".ref.wav", self.path], check=not damaged,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        report = subprocess.run([lym, "--info=json", self.path], check=True, capture_output=True)
        info = json.loads(report.stdout)[0]
        self.rate = info["sample_rate"]
        self.samples = info["samples"]
        self.frame_length = info["frame_length"]
        self.frame_bytes = info["channels"] * info["bits_per_sample"] // 8
        self.pcm = data_chunk(base + ".ref.wav")
        assert len(self.pcm) == self.samples * self.frame_bytes, "lym -d gave another length"
        self.lost = None
        if damaged:
            source, size = data_chunk(base + ".wav"), self.frame_bytes
            differ = [at // size for at in range(0, len(source), size)
                      if source[at:at + size] != self.pcm[at:at + size]]
            assert differ, "the damage lost no sample"
            self.lost = (differ[0], differ[-1] + 1)

    def time(self, sample):
        """A sample's time, rounded down to the nanosecond as the decoder stamps it."""
        return sample * Gst.SECOND // self.rate

    def pcm_at(self, sample, count):
        return self.pcm[sample * self.frame_bytes:(sample + count) * self.frame_bytes]


def data_chunk(path):
    wave = open(path, "rb").read()
    at = 12
    while at + 8 <= len(wave):
        kind, size = wave[at:at + 4], struct.unpack("<I", wave[at + 4:at + 8])[0]
        if kind == b"data":
            return wave[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    raise ValueError(f"{path} has no data chunk")


def bus_error(pipeline):
    message = pipeline.get_bus().pop_filtered(Gst.MessageType.ERROR)
    return message.parse_error()[0].message if message else "no error on the bus"


def settle(pipeline, what):
    """Waits for the state change or the preroll after a flushing seek to complete."""
    result = pipeline.get_state(WAIT)[0]
    if result == Gst.StateChangeReturn.SUCCESS:
        return True
    # Only now: looking for the error takes every other message off the bus.
    return check(False, f"{what}: pipeline did not settle ({result.value_nick}: "
                        f"{bus_error(pipeline)})")


def buffer_bytes(buffer):
    return buffer.extract_dup(0, buffer.get_size())


def pulled_pipeline(stream):
    pipeline = Gst.parse_launch(f'filesrc location="{stream.path}" ! lymdec '
                                f'! appsink name=sink sync=false wait-on-eos=false')
    return pipeline, pipeline.get_by_name("sink")


def positions(stream):
    """Frame borders and their neighbours (the seek table's points among them), the block size
    of 4096 samples around which the decoder cuts its buffers, the ends, and drawn ones."""
    frame, total = stream.frame_length, stream.samples
    last_frame = (total - 1) // frame * frame
    chosen = {0, 1, 2, frame - 1, frame, frame + 1, 2 * frame - 1, 2 * frame, 8 * frame - 1,
              8 * frame, 8 * frame + 1, 4095, 4096, 4097, 5511, 5512, 5513, last_frame - 1,
              last_frame, last_frame + 1, total - 4096, total - 2, total - 1}
    draw = random.Random(1729 + total)
    chosen.update(draw.randrange(total) for _ in range(5))
    return sorted(p for p in chosen if 0 <= p < total)


def check_first_buffer(stream, sink, sample, what):
    """The preroll buffer after a seek: at the sample, stamped with it, with its bytes. Returns
    its number of samples (appsink hands the preroll buffer out only once)."""
    preroll = sink.emit("try-pull-preroll", WAIT)
    if not check(preroll is not None, f"{what}: no buffer after the seek"):
        return 0
    buffer = preroll.get_buffer()
    preroll = None  # let appsink reuse its sample (see seeks_while_playing)
    data = buffer_bytes(buffer)
    check(buffer.offset == sample, f"{what}: first buffer at sample {buffer.offset}")
    check(buffer.pts == stream.time(sample),
          f"{what}: first buffer at {buffer.pts} ns, expected {stream.time(sample)}")
    check(buffer.has_flags(Gst.BufferFlags.DISCONT), f"{what}: first buffer not marked DISCONT")
    count = len(data) // stream.frame_bytes
    check(0 < count <= stream.samples - sample and len(data) % stream.frame_bytes == 0,
          f"{what}: first buffer of {len(data)} bytes")
    check(data == stream.pcm_at(sample, count), f"{what}: samples differ from lym -d's")
    return count


def flushing_seeks(stream):
    """Duration and seekability in PAUSED, then a flushing seek to each position, in both
    formats; a time between two samples names the later one."""
    pipeline, sink = pulled_pipeline(stream)
    pipeline.set_state(Gst.State.PAUSED)
    if not settle(pipeline, f"{stream.name}: PAUSED"):
        pipeline.set_state(Gst.State.NULL)
        return
    check(pipeline.query_duration(Gst.Format.TIME) == (True, stream.time(stream.samples)),
          f"{stream.name}: duration in time {pipeline.query_duration(Gst.Format.TIME)}")
    check(pipeline.query_duration(Gst.Format.DEFAULT) == (True, stream.samples),
          f"{stream.name}: duration in samples {pipeline.query_duration(Gst.Format.DEFAULT)}")
    query = Gst.Query.new_seeking(Gst.Format.TIME)
    check(pipeline.query(query) and query.parse_seeking()[1],
          f"{stream.name}: not seekable from filesrc")

    flags = Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE
    seeks = []
    for sample in positions(stream):
        seeks.append((Gst.Format.TIME, stream.time(sample), sample, "time"))
        seeks.append((Gst.Format.DEFAULT, sample, sample, "samples"))
    for sample in (1, stream.frame_length, stream.samples - 1):
        seeks.append((Gst.Format.TIME, stream.time(sample) - 1, sample, "1 ns before"))
        seeks.append((Gst.Format.TIME, stream.time(sample - 1) + 1, sample,
                      "1 ns after the one before"))
    for seek_format, target, sample, how in seeks:
        what = f"{stream.name}: seek to sample {sample} ({how}, {target})"
        if not check(pipeline.seek_simple(seek_format, flags, target), f"{what} refused"):
            continue
        if settle(pipeline, what):
            check_first_buffer(stream, sink, sample, what)

    # At the very end no sample is left: the stream ends at once.
    what = f"{stream.name}: seek to the end"
    if check(pipeline.seek_simple(Gst.Format.DEFAULT, flags, stream.samples), f"{what} refused"):
        if settle(pipeline, what):
            check(sink.emit("try-pull-preroll", WAIT) is None and sink.get_property("eos"),
                  f"{what}: samples after the end")
    pipeline.set_state(Gst.State.NULL)


def pull_until(sink, bus, end, what):
    """Plays on until the end (SEGMENT_DONE or EOS), then takes every buffer that reached the
    sink. Returns the end's message and the buffers."""
    ends = Gst.MessageType.SEGMENT_DONE | Gst.MessageType.EOS | Gst.MessageType.ERROR
    message = bus.timed_pop_filtered(WAIT, ends)
    if not check(message is not None, f"{what}: no end within {WAIT // Gst.SECOND} s"):
        return None, []
    if message.type == Gst.MessageType.ERROR:
        check(False, f"{what}: {message.parse_error()[0].message}")
        return None, []
    if not check(message.type == end, f"{what}: ended with {message.type.first_value_nick} "
                                      f"instead of {end.first_value_nick}"):
        return None, []
    # The end is posted once the last buffer was handed to the sink, which queued it (and does not
    # wait for it to be taken: wait-on-eos is off).
    buffers = []
    while True:
        sample = sink.emit("try-pull-sample", 0)
        if sample is None:
            return message, buffers
        buffers.append(sample.get_buffer())
        sample = None  # let appsink reuse its sample (see seeks_while_playing)


def check_run(stream, buffers, start, stop, what):
    """Buffers that hold exactly the samples from start to stop, stamped where they are."""
    if not check(buffers, f"{what}: no samples"):
        return
    check(buffers[0].offset == start and buffers[0].pts == stream.time(start),
          f"{what}: begins at sample {buffers[0].offset}, {buffers[0].pts} ns")
    expected = start
    for buffer in buffers:
        if not check(buffer.offset == expected and buffer.pts == stream.time(expected),
                     f"{what}: buffer at sample {buffer.offset} ({buffer.pts} ns), expected "
                     f"{expected}"):
            break
        expected += buffer.get_size() // stream.frame_bytes
    data = b"".join(buffer_bytes(buffer) for buffer in buffers)
    got = len(data) // stream.frame_bytes
    check(got == stop - start, f"{what}: {got} samples instead of {stop - start}")
    check(data == stream.pcm_at(start, stop - start), f"{what}: samples differ from lym -d's")


def segment_seeks(stream):
    """A flushing segment seek in time, a non-flushing one in samples from its SEGMENT_DONE on (as
    a player loops), then a flushing seek while playing, which ends the stream with EOS."""
    pipeline, sink = pulled_pipeline(stream)
    bus = pipeline.get_bus()
    pipeline.set_state(Gst.State.PAUSED)
    if not settle(pipeline, f"{stream.name}: PAUSED"):
        pipeline.set_state(Gst.State.NULL)
        return
    frame, total = stream.frame_length, stream.samples
    runs = [
        (Gst.Format.TIME, Gst.SeekFlags.FLUSH, frame - 3, 3 * frame + 7),
        (Gst.Format.DEFAULT, Gst.SeekFlags.NONE, 4097, 4097 + frame),
        (Gst.Format.DEFAULT, Gst.SeekFlags.NONE, total - frame - 1, total),
    ]
    for number, (seek_format, flush, start, stop) in enumerate(runs):
        what = f"{stream.name}: segment seek {start}..{stop}"
        to = stream.time if seek_format == Gst.Format.TIME else (lambda sample: sample)
        flags = flush | Gst.SeekFlags.ACCURATE | Gst.SeekFlags.SEGMENT
        if not check(pipeline.seek(1.0, seek_format, flags, Gst.SeekType.SET, to(start),
                                   Gst.SeekType.SET, to(stop)), f"{what} refused"):
            break
        if number == 0:
            settle(pipeline, what)
            pipeline.set_state(Gst.State.PLAYING)
        message, buffers = pull_until(sink, bus, Gst.MessageType.SEGMENT_DONE, what)
        if message is None:
            break
        check(message.parse_segment_done() == (Gst.Format.TIME, stream.time(stop)),
              f"{what}: SEGMENT_DONE at {message.parse_segment_done()}")
        check_run(stream, buffers, start, stop, what)

    what = f"{stream.name}: flushing seek while playing"
    start = total // 2 + 1
    if check(pipeline.seek_simple(Gst.Format.DEFAULT, Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE,
                                  start), f"{what} refused"):
        message, buffers = pull_until(sink, bus, Gst.MessageType.EOS, what)
        if message is not None:
            check_run(stream, buffers, start, total, what)
    pipeline.set_state(Gst.State.NULL)


def damaged_seeks(stream):
    """Seeks into, onto and around the lost frames: the samples of lym -d (silence where it was
    lost), and a warning on the bus exactly when the first buffer reaches into the loss."""
    pipeline, sink = pulled_pipeline(stream)
    bus = pipeline.get_bus()
    pipeline.set_state(Gst.State.PAUSED)
    if not settle(pipeline, f"{stream.name}: PAUSED"):
        pipeline.set_state(Gst.State.NULL)
        return
    first, end = stream.lost
    flags = Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE
    around = (0, first - 4097, first - 4096, first - 1, first, first + 1, (first + end) // 2,
              end - 1, end, end + 1)
    for sample in (sample for sample in around if 0 <= sample < stream.samples):
        while bus.pop_filtered(Gst.MessageType.WARNING):
            pass
        what = f"{stream.name}: seek to sample {sample}, {first}..{end} lost"
        if not check(pipeline.seek_simple(Gst.Format.DEFAULT, flags, sample), f"{what} refused"):
            continue
        if not settle(pipeline, what):
            continue
        count = check_first_buffer(stream, sink, sample, what)
        # The warning is posted while the buffer is decoded, before it reaches the sink.
        reaches = sample < end and sample + count > first
        warned = bus.pop_filtered(Gst.MessageType.WARNING) is not None
        check(warned == reaches, f"{what}: " + ("no warning" if reaches else "a warning"))
    pipeline.set_state(Gst.State.NULL)


def seeks_while_playing(stream):
    """Flushing seeks one after the other while the decoder is busy, in both formats, some of them
    segment seeks: each lands where it was asked, whatever the decoder was doing."""
    pipeline = Gst.parse_launch(f'filesrc location="{stream.path}" ! lymdec '
                                f'! appsink name=sink sync=false max-buffers=3')
    sink = pipeline.get_by_name("sink")
    pipeline.set_state(Gst.State.PLAYING)
    if not settle(pipeline, f"{stream.name}: PLAYING"):
        pipeline.set_state(Gst.State.NULL)
        return
    draw = random.Random(4711)
    for number in range(100):
        sample = draw.randrange(stream.samples)
        flags = Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE
        if draw.random() < 0.3:
            flags |= Gst.SeekFlags.SEGMENT
        seek_format, target = draw.choice(((Gst.Format.DEFAULT, sample),
                                           (Gst.Format.TIME, stream.time(sample))))
        what = f"{stream.name}: seek {number} while playing, to sample {sample}"
        if not check(pipeline.seek_simple(seek_format, flags, target), f"{what} refused"):
            break
        taken = sink.emit("try-pull-sample", WAIT)
        if not check(taken is not None, f"{what}: no buffer after it"):
            break
        buffer = taken.get_buffer()
        # appsink of GStreamer 1.22 reuses its sample while the next buffer comes in: one that is
        # still held gets a critical warning, so let go of it (the buffer stays).
        taken = None
        data = buffer_bytes(buffer)
        count = len(data) // stream.frame_bytes
        if not check(buffer.offset == sample and data == stream.pcm_at(sample, count),
                     f"{what}: buffer at sample {buffer.offset}, or other samples"):
            break
    pipeline.set_state(Gst.State.NULL)


def pushed(stream):
    """From appsrc the decoder has the whole stream only at its end: it answers the duration, is
    not seekable, refuses to seek, and plays every sample all the same."""
    pipeline = Gst.parse_launch("appsrc name=source caps=audio/x-lym ! lymdec "
                                "! appsink name=sink sync=false wait-on-eos=false")
    source, sink = pipeline.get_by_name("source"), pipeline.get_by_name("sink")
    pipeline.set_state(Gst.State.PAUSED)
    data = open(stream.path, "rb").read()
    for at in range(0, len(data), 65536):
        source.emit("push-buffer", Gst.Buffer.new_wrapped(data[at:at + 65536]))
    source.emit("end-of-stream")
    what = f"{stream.name}, pushed"
    if not settle(pipeline, what):
        pipeline.set_state(Gst.State.NULL)
        return
    check(pipeline.query_duration(Gst.Format.DEFAULT) == (True, stream.samples),
          f"{what}: duration in samples {pipeline.query_duration(Gst.Format.DEFAULT)}")
    query = Gst.Query.new_seeking(Gst.Format.TIME)
    check(not (pipeline.query(query) and query.parse_seeking()[1]), f"{what}: said seekable")
    for seek_format, target in ((Gst.Format.TIME, stream.time(stream.frame_length)),
                                (Gst.Format.DEFAULT, 4097)):
        check(not pipeline.seek_simple(seek_format, Gst.SeekFlags.FLUSH | Gst.SeekFlags.ACCURATE,
                                       target), f"{what}: seek accepted")
    pipeline.set_state(Gst.State.PLAYING)
    message, buffers = pull_until(sink, pipeline.get_bus(), Gst.MessageType.EOS, what)
    if message is not None:
        check_run(stream, buffers, 0, stream.samples, what)
    pipeline.set_state(Gst.State.NULL)


def main():
    plugin_dir, lym, demo = (os.path.abspath(argument) for argument in sys.argv[1:4])
    with tempfile.TemporaryDirectory() as work:
        # The plug-in as built, in a registry of this run's own: the user's stays untouched (the
        # names with _1_0 are read first).
        for suffix in ("", "_1_0"):
            os.environ["GST_PLUGIN_PATH" + suffix] = plugin_dir
            os.environ["GST_REGISTRY" + suffix] = os.path.join(work, "registry.bin")
        Gst.init(None)
        if not check(Gst.ElementFactory.find("lymdec") is not None, "lymdec not found"):
            sys.exit(1)
        streams = [Stream(work, lym, demo, 3, 16, 2, 44100),
                   Stream(work, lym, demo, 2, 24, 1, 96000),
                   Stream(work, lym, demo, 3.3, 8, 1, 22050)]
        for stream in streams:
            flushing_seeks(stream)
            segment_seeks(stream)
            pushed(stream)
        seeks_while_playing(streams[0])
        damaged_seeks(Stream(work, lym, demo, 6, 16, 2, 44100, damaged=True))
    if failures:
        print(f"{len(failures)} checks failed", file=sys.stderr)
        sys.exit(1)
    print("gst_seek: all checks passed")


if __name__ == "__main__":
    main()
