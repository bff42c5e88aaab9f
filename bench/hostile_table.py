"""Helpers of hostile_table.sh: make the odd inputs, run one case under limits and print its row.

  hostile_table.py enlarge OUT_DIR WIDTH HEIGHT PHOTO...   photos enlarged (no camera data kept)
  hostile_table.py odd DIR PHOTO                           odd photo files for `smra_fit new`
  hostile_table.py header                                  the table's head
  hostile_table.py exec [--vmem KB] -- COMMAND...          become COMMAND in a session of its own
  hostile_table.py launch STATUS [--vmem KB] -- COMMAND... run it so; its pid and end into files
  hostile_table.py ink PNG X Y W H                         the darkest grey in a rectangle
  hostile_table.py snap STATE --out PATH --in FILE --watch DIR ...
  hostile_table.py report STATE --case C --show CMD --exit E --message M
  hostile_table.py run --case C --show CMD [--out P] [--in F]... [--watch D]... [--vmem KB]
                       [--fsize KB] [--nobody] [--signal NAME --when staged|SECONDS]
                       [--timeout S] -- COMMAND...

A row tells what the case left: the output path (missing, written, kept, replaced, a link or
device kept or replaced), whether the input files kept their bytes (sha256), hidden staged
files left in the watched folders, and the first line of what the program said.
"""
import concurrent.futures
import hashlib
import json
import os
import re
import resource
import signal
import stat
import struct
import subprocess
import sys
import time
import zlib

NOBODY = 65534


def sha(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def describe(path):
    """The state of a path, without following a final symbolic link."""
    try:
        st = os.lstat(path)
    except FileNotFoundError:
        return {"kind": "missing"}
    except OSError as e:
        return {"kind": "error", "why": e.strerror}
    mode = st.st_mode
    if stat.S_ISLNK(mode):
        target = os.path.join(os.path.dirname(path), os.readlink(path))
        inner = describe(target)
        return {"kind": "link", "target": inner}
    if stat.S_ISREG(mode):
        try:
            digest = sha(path)
        except OSError:
            digest = "unreadable"
        return {"kind": "file", "size": st.st_size, "sha": digest, "mode": stat.S_IMODE(mode)}
    if stat.S_ISDIR(mode):
        return {"kind": "folder"}
    if stat.S_ISFIFO(mode):
        return {"kind": "fifo"}
    if stat.S_ISCHR(mode):
        return {"kind": "device"}
    return {"kind": "other"}


def hidden_files(folder):
    try:
        return {n: os.lstat(os.path.join(folder, n)).st_size for n in os.listdir(folder) if n.startswith(".")}
    except OSError:
        return {}


def snapshot(out, ins, watch):
    return {
        "out": out,
        "out_state": describe(out) if out else None,
        "ins": {p: describe(p) for p in ins},
        "watch": {d: hidden_files(d) for d in watch},
    }


def size_text(n):
    if n >= 1 << 20:
        return "%.1f MB" % (n / float(1 << 20))
    if n >= 10 << 10:
        return "%d KB" % (n >> 10)
    return "%d B" % n


def output_text(before, after):
    b, a = before["kind"], after["kind"]
    if b == "missing":
        if a == "missing":
            return "none"
        if a == "file":
            return "written " + size_text(after["size"])
        return "made a " + a
    if b == "file":
        if a == "missing":
            return "old file REMOVED"
        if a == "file":
            mode = "" if after["mode"] == before["mode"] else " (mode %o->%o)" % (before["mode"], after["mode"])
            if after["sha"] == before["sha"]:
                return "old file kept" + mode
            return ("0444 file REPLACED " if before["mode"] & 0o222 == 0 else "replaced ") + size_text(
                before["size"]) + " -> " + size_text(after["size"]) + mode
        return "file became a " + a
    if b == "link":
        if a == "link":
            if after["target"] == before["target"]:
                return "link and target kept"
            if after["target"]["kind"] == "file":
                return "written through link " + size_text(after["target"]["size"])
            return "link kept, target " + after["target"]["kind"]
        if a == "file":
            return "LINK REPLACED by file " + size_text(after["size"])
        return "link became " + a
    if b in ("fifo", "device", "folder"):
        if a == b:
            return b + " kept"
        if a == "file":
            return b.upper() + " REPLACED by file " + size_text(after["size"])
        return b + " became " + a
    return "%s -> %s" % (b, a)


def input_text(before, after):
    if not before:
        return "-"
    changed = [p for p in before if before[p] != after[p]]
    if not changed:
        return "same"
    gone = [p for p in changed if after[p]["kind"] == "missing"]
    if gone:
        return "GONE"
    return "CHANGED" if len(before) == 1 else "CHANGED (%d of %d)" % (len(changed), len(before))


def staged_text(before, after):
    left = {}
    for d in after:
        for name, size in after[d].items():
            if name not in before.get(d, {}):
                left[name] = size
    if not left:
        return "none"
    return "%d LEFT (%s)" % (len(left), ", ".join("%s %s" % (n[:12], size_text(s)) for n, s in sorted(left.items())))


def cell(text):
    return str(text).replace("|", "/").replace("\n", " ")


def header():
    print("| case | command | exit | output | input | staged left | message (first line) |")
    print("|---|---|---|---|---|---|---|")


def row(case, show, exit_text, before, after, message):
    out = output_text(before["out_state"], after["out_state"]) if before["out"] else "-"
    print("| %s |" % " | ".join(cell(x) for x in (
        case, show, exit_text, out, input_text(before["ins"], after["ins"]),
        staged_text(before["watch"], after["watch"]), message)))
    sys.stdout.flush()


PROGRESS = ("fitting:", "placed ", "rendering:", "inspecting")


def first_message(stdout, stderr, tool):
    """The program's own message, its lines joined: the first that names the tool (other than
    the render's opening summary), else the first other text; questions and messages of the
    catalogue are listed before it by number, and the fit tool's table is summed up."""
    blocks = []
    for ln in stderr.replace("\r", "\n").split("\n"):
        ln = ln.strip()
        if not ln:
            continue
        if ln.startswith(PROGRESS):
            blocks.append(None)
            continue
        if ln.startswith(("question ", "message ", tool + ":", "usage:")) or not blocks or blocks[-1] is None:
            blocks.append(ln)
        else:
            blocks[-1] += " " + ln
    blocks = [b for b in blocks if b]
    asked = [b.split()[0][0] + b.split()[1].rstrip(":") for b in blocks if b.startswith(("question ", "message "))]
    said = [b for b in blocks if not b.startswith(("question ", "message "))]
    own = [b for b in said if b.startswith(tool + ":") and " -> " not in b]
    text = own[0] if own else (said[0] if said else "")
    # The fit tool's table: how many pictures the written project holds and how many are fitted.
    pictures = fitted = 0
    lines = [ln for ln in stdout.split("\n") if ln.strip()]
    for ln in lines:
        parts = ln.split()
        if len(parts) >= 8 and parts[1].isdigit() and not ln.startswith("picture"):
            pictures += 1
            fitted += parts[1] == "3"
    if not text and lines:
        text = lines[-1]
    if pictures:
        text = "[%d/%d fitted] %s" % (fitted, pictures, text)
    if asked:
        text = "[%s] %s" % (" ".join(asked[:4]) + (" ..." if len(asked) > 4 else ""), text)
    strip = os.environ.get("HOSTILE_WORK")
    if strip:
        text = re.sub(re.escape(strip) + r"/case\d+/", "", text).replace(strip + "/", "")
    return text[:200] if text else "(nothing said)"


def exit_text(code, sent=None, early=False):
    if code is None:
        return "?"
    if code == 124:
        return "124 TIMEOUT"
    if code < 0:
        name = signal.Signals(-code).name
        return "killed by " + name + ("" if sent == name else " (CRASH)" if name in (
            "SIGSEGV", "SIGABRT", "SIGBUS", "SIGFPE", "SIGILL", "SIGXFSZ") else "")
    text = str(code)
    if code > 128 and code - 128 < 65:
        try:
            text += " (" + signal.Signals(code - 128).name + ")"
        except ValueError:
            pass
    if early:
        text += " (ended before the signal)"
    return text


def limits(vmem, fsize, nobody):
    def apply():
        if vmem:
            resource.setrlimit(resource.RLIMIT_AS, (vmem * 1024, vmem * 1024))
        if fsize:
            resource.setrlimit(resource.RLIMIT_FSIZE, (fsize * 1024, fsize * 1024))
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_DFL)
        if nobody and os.getuid() == 0:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)
    return apply


def any_staged(folders, before):
    for d in folders:
        for name in hidden_files(d):
            if name not in before.get(d, {}):
                return True
    return False


def run(argv):
    opts = {"in": [], "watch": [], "timeout": 120.0}
    i = 0
    while argv[i] != "--":
        key = argv[i].lstrip("-")
        if key == "nobody":
            opts["nobody"] = True
            i += 1
            continue
        if key in ("in", "watch"):
            opts[key].append(argv[i + 1])
        else:
            opts[key] = argv[i + 1]
        i += 2
    command = argv[i + 1:]
    tool = os.path.basename(command[0])
    before = snapshot(opts.get("out"), opts["in"], opts["watch"])
    sent = None
    early = False
    with open(os.devnull, "rb") as null:
        child = subprocess.Popen(command, stdin=null, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 start_new_session=True,
                                 preexec_fn=limits(int(opts.get("vmem", 0)), int(opts.get("fsize", 0)),
                                                   opts.get("nobody", False)))
        # Pipes are read by threads, so that neither fills while the child runs.
        pool = concurrent.futures.ThreadPoolExecutor(2)
        out_f = pool.submit(child.stdout.read)
        err_f = pool.submit(child.stderr.read)
        deadline = time.monotonic() + float(opts["timeout"])
        if "signal" in opts:
            when = opts["when"]
            start = time.monotonic()
            while child.poll() is None and time.monotonic() < deadline:
                if when == "staged":
                    if any_staged(opts["watch"], before["watch"]):
                        time.sleep(0.5)
                        break
                elif time.monotonic() - start >= float(when):
                    break
                time.sleep(0.01)
            if child.poll() is None:
                sent = "SIG" + opts["signal"]
                os.kill(child.pid, getattr(signal, sent))
            else:
                early = True
        try:
            code = child.wait(max(1.0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            code = 124
        # Nothing the case started may outlive it.
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        stdout = out_f.result().decode("utf-8", "replace")
        stderr = err_f.result().decode("utf-8", "replace")
        pool.shutdown()
    after = snapshot(opts.get("out"), opts["in"], opts["watch"])
    if opts.get("log"):
        with open(opts["log"], "w") as f:
            f.write(stdout + "\n--- stderr ---\n" + stderr)
    exit_shown = exit_text(code, sent, early)
    if sent:
        exit_shown = sent[3:] + " sent: " + exit_shown
    if opts.get("vmem"):
        exit_shown += ", peak %d MB" % (peak // 1024)
    row(opts["case"], opts["show"], exit_shown, before, after, first_message(stdout, stderr, tool))


def enlarge_one(job):
    from PIL import Image
    src, dst, w, h = job
    with Image.open(src) as im:
        im.convert("RGB").resize((w, h), Image.BILINEAR).save(dst, quality=85)


def enlarge(out_dir, w, h, photos):
    jobs = [(p, os.path.join(out_dir, os.path.basename(p)), int(w), int(h)) for p in photos]
    with concurrent.futures.ProcessPoolExecutor(4) as ex:
        list(ex.map(enlarge_one, jobs))


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def odd(folder, photo):
    """Odd inputs: headers claiming 65535 x 65535, a CMYK JPEG, a 20000 x 20000 PNG."""
    from PIL import Image
    data = bytearray(open(photo, "rb").read())
    # The first start-of-frame marker: height and width follow the precision byte.
    at = 2
    while at + 4 < len(data):
        marker = data[at + 1]
        length = (data[at + 2] << 8) | data[at + 3]
        if marker in (0xC0, 0xC1, 0xC2):
            data[at + 5:at + 9] = b"\xff\xff\xff\xff"
            break
        at += 2 + length
    open(os.path.join(folder, "huge-header.jpg"), "wb").write(data)
    with Image.open(photo) as im:
        im.convert("CMYK").save(os.path.join(folder, "cmyk.jpg"), quality=85)
        small = im.convert("RGB").resize((64, 48))
    small.save(os.path.join(folder, "small.png"))
    png = bytearray(open(os.path.join(folder, "small.png"), "rb").read())
    ihdr = png[12:29]
    ihdr[4:12] = struct.pack(">II", 65535, 65535)
    png[12:33] = bytes(ihdr) + struct.pack(">I", zlib.crc32(bytes(ihdr)) & 0xFFFFFFFF)
    open(os.path.join(folder, "huge-header.png"), "wb").write(png)
    os.remove(os.path.join(folder, "small.png"))
    # A real 20000 x 20000 RGB picture, all black: the rows compress to almost nothing.
    side = 20000
    comp = zlib.compressobj(1)
    line = b"\x00" * (1 + 3 * side)
    idat = bytearray()
    for _ in range(side):
        idat += comp.compress(line)
    idat += comp.flush()
    with open(os.path.join(folder, "big-20000.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(png_chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)))
        f.write(png_chunk(b"IDAT", bytes(idat)))
        f.write(png_chunk(b"IEND", b""))


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "header":
        header()
    elif cmd == "run":
        run(args)
    elif cmd == "enlarge":
        enlarge(args[0], args[1], args[2], args[3:])
    elif cmd == "odd":
        odd(args[0], args[1])
    elif cmd in ("exec", "launch"):
        # exec: becomes COMMAND, in a session of its own with default signal handling and the
        # limits. launch STATUS: starts it so, writes its process id to STATUS.pid and, once it
        # has ended, how it ended to STATUS (so that the caller's shell has no job to report).
        status = args.pop(0) if cmd == "launch" else None
        opts = {}
        while args[0] != "--":
            opts[args[0].lstrip("-")] = int(args[1])
            args = args[2:]
        command = args[1:]
        if status is None:
            os.setsid()
            limits(opts.get("vmem", 0), 0, False)()
            os.execv(command[0], command)
        child = subprocess.Popen(command, start_new_session=True, preexec_fn=limits(opts.get("vmem", 0), 0, False))
        with open(status + ".pid", "w") as f:
            f.write("%d\n" % child.pid)
        # The program never outlives a case: at 120 s it is killed with all it started.
        try:
            code = child.wait(120)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            code = 124
        with open(status, "w") as f:
            f.write(exit_text(code) + "\n")
    elif cmd == "ink":
        # The darkest grey in a rectangle of a screenshot: about 120 for a highlighted menu item
        # (white on blue), 0 for black text, 190 for the grey text of a disabled item.
        from PIL import Image
        x, y, w, h = (int(v) for v in args[1:5])
        with Image.open(args[0]) as im:
            print(min(im.convert("L").crop((x, y, x + w, y + h)).getdata()))
    elif cmd == "snap":
        opts = {"in": [], "watch": [], "out": None}
        for k, v in zip(args[1::2], args[2::2]):
            key = k.lstrip("-")
            if key in ("in", "watch"):
                opts[key].append(v)
            else:
                opts[key] = v
        with open(args[0], "w") as f:
            json.dump(snapshot(opts["out"], opts["in"], opts["watch"]), f)
    elif cmd == "report":
        with open(args[0]) as f:
            before = json.load(f)
        opts = dict(zip((k.lstrip("-") for k in args[1::2]), args[2::2]))
        after = snapshot(before["out"], list(before["ins"]), list(before["watch"]))
        row(opts["case"], opts["show"], opts["exit"], before, after, opts.get("message", ""))
    else:
        sys.exit("unknown helper command " + cmd)


if __name__ == "__main__":
    main()
