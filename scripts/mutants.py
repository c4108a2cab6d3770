"""Makes, builds and judges the mutants of scripts/mutants (which says what they are)."""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# One binary operator between spaces, as the sources are formatted, and what it becomes.
OPERATORS = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "&&": "||", "||": "&&", "+": "-", "-": "+", "*": "/", "/": "*",
    "&": "|", "|": "&", "<<": ">>", ">>": "<<", "+=": "-=", "-=": "+=",
}
OPERATOR = re.compile(r"(?<= )(" + "|".join(re.escape(o) for o in sorted(OPERATORS, key=len, reverse=True)) + r")(?= )")
LITERAL = re.compile(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])")
NEGATION = re.compile(r"(?<=[( ])!(?=[\w(])")
PLUGIN_CALL = re.compile(r"\b(init|setPalette|blit|shutdown|Video\w+)\s*\(")
ARRAY = re.compile(r"\s*(static\s+)?(const\s+)?(struct\s+)?\w+\s+\w+\[[^]]*\](\[[^]]*\])?\s*;")
HOST_STEP = re.compile(r"\b(CreateWindow\w*|ShowWindow|SetWindow\w+|DispatchMessage\w*|BeginPaint|EndPaint|memcpy|"
                       r"CreateThread|WaitForSingleObject|EnterCriticalSection|LeaveCriticalSection)\s*\(")
RELEASES = re.compile(r"\b(FreeLibrary|DestroyWindow|free|HeapFree|CloseHandle|shutdown|VideoShutdown|"
                      r"DeleteCriticalSection|PostQuitMessage)\s*\(")


def code_of(line):
    """The line without its comment, or None where it holds no code to mutate."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("//", "/*", "*", "#include", "#pragma", "static_assert")):
        return None
    return re.split(r"//|/\*", line)[0]


def statement(line):
    code = code_of(line)
    return code is not None and code.rstrip().endswith(";") and not code.lstrip().startswith("#")


def literal_mutants(code):
    for match in LITERAL.finditer(code):
        text, suffix = match.group(1), match.group(2)
        value = int(text, 16 if text.lower().startswith("0x") else 10)
        bigger = (hex(value + 1) if text.lower().startswith("0x") else str(value + 1)) + suffix
        yield match.start(), match.end(), bigger
        if value > 1:
            yield match.start(), match.end(), "0" + suffix


def line_mutants(code, constants=True):
    """(what, new code) for each mutant of one line's code."""
    for match in OPERATOR.finditer(code):
        yield "operator", code[:match.start()] + OPERATORS[match.group(1)] + code[match.end():]
    for match in NEGATION.finditer(code):
        yield "negation", code[:match.start()] + code[match.end():]
    for word, other in (("true", "false"), ("false", "true")):
        for match in re.finditer(r"\b%s\b" % word, code):
            yield "constant", code[:match.start()] + other + code[match.end():]
    if constants:
        for start, end, text in literal_mutants(code):
            yield "constant", code[:start] + text + code[end:]


def plugin_files(only):
    """The sources the DLL is built from that run on this machine: the conversion kernel the
    plugin chooses on this CPU, not the others (the check cannot reach code that does not run)."""
    flags = set()
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("flags"):
                flags = set(line.split(":", 1)[1].split())
                break
    if {"avx512f", "avx512bw", "avx512vbmi"} <= flags:
        kernel = "core/frame_avx512.cpp"
    elif "avx2" in flags:
        kernel = "core/frame_avx2.cpp"
    elif "sse4_1" in flags:
        kernel = "core/frame_sse41.cpp"
    else:
        kernel = "core/frame_plain.cpp"
    files = ["plugin/video.cpp", "gdi/surface.cpp", "gdi/surface.h", "core/palette.cpp", "core/palette.h",
             "core/frame.cpp", "core/frame.h", "core/cpu.cpp", "core/cpu.h", kernel]
    print("mutants: the conversion this CPU runs is %s; the other kernels are left out" % kernel)
    return [f for f in files if not only or f == only]


def code_lines(files):
    """(path, number, line, code, all lines) for each line of the files with code to mutate."""
    for path in files:
        lines = open(os.path.join(ROOT, path)).read().split("\n")
        for number, line in enumerate(lines):
            code = code_of(line)
            if code is not None:
                yield path, number, line, code, lines


def plugin_mutants(files):
    for path, number, line, code, _ in code_lines(files):
        for what, new in line_mutants(code):
            yield path, number, what, new + line[len(code):]
        if statement(line) and not line.lstrip().startswith(("return ", "const ", "static ", "constexpr ")):
            yield path, number, "deleted", ""


def host_mutants(files):
    for path, number, line, code, lines in code_lines(files):
        # A buffer's or a frame's size, and each argument of a call of the plugin.
        if ARRAY.match(code) or code.startswith("#define"):
            for start, end, text in literal_mutants(code):
                yield path, number, "constant", code[:start] + text + code[end:] + line[len(code):]
        call = PLUGIN_CALL.search(code)
        if call:
            for what, new in argument_mutants(code, call.end()):
                yield path, number, what, new + line[len(code):]
        # Statements of what a host does with the plugin, its window and the frame: the rest
        # (drawing the pattern, saying an error) makes no mistake a plugin could see.
        if statement(line) and (PLUGIN_CALL.search(code) or RELEASES.search(code) or HOST_STEP.search(code)):
            yield path, number, "deleted", ""
            if RELEASES.search(code):
                indent = len(line) - len(line.lstrip())
                earlier = [n for n in range(number - 1, max(number - 40, 0), -1)
                           if statement(lines[n]) and len(lines[n]) - len(lines[n].lstrip()) == indent]
                for steps, target in enumerate(earlier[:3], 1):
                    yield path, number, "moved %d earlier" % steps, (target, line)


def argument_mutants(code, start):
    """Each argument of the call whose list opens at `start` replaced by 0, or an identifier by
    another identifier's worth of harm (its address, or it plus one)."""
    depth, begin, parts = 0, start, []
    for i in range(start, len(code)):
        c = code[i]
        if c == "(":
            depth += 1
        elif c == ")":
            if depth == 0:
                parts.append((begin, i))
                break
            depth -= 1
        elif c == "," and depth == 0:
            parts.append((begin, i))
            begin = i + 1
    for begin, end in parts:
        argument = code[begin:end].strip()
        if not argument:
            continue
        lead = code[begin:end][:len(code[begin:end]) - len(code[begin:end].lstrip())]
        numeric = re.fullmatch(r"\d+", argument)
        for other in ("0", "-1", "%d" % (int(argument) + 1)) if numeric else ("0", "(%s) + 1" % argument):
            if other != argument:
                yield "argument", code[:begin] + lead + other + code[end:]
        if re.fullmatch(r"[A-Za-z_]\w*", argument):
            yield "argument", code[:begin] + lead + "&" + argument + code[end:]


def apply(lines, number, new):
    out = list(lines)
    if isinstance(new, tuple):  # moved: from `number` to before line `target`
        target, line = new
        del out[number]
        out.insert(target, line)
    elif new == "":
        out[number] = ""
    else:
        out[number] = new
    return "\n".join(out)


def explained():
    table = {}
    path = os.path.join(ROOT, "scripts", "mutants-explained.tsv")
    for line in open(path):
        if line.startswith("#") or not line.strip():
            continue
        file, original, mutated, why = line.rstrip("\n").split("\t")
        table[(file, original.strip(), mutated.strip())] = why
    return table


def digest(path):
    """The DLL's bytes: a mutant that builds the same DLL as the sources (code the build leaves out,
    or a change the compiler undoes) cannot be seen by any host."""
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def run(command, timeout, env=None):
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                              env=env)
        return done.returncode, done.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired as expired:
        return None, (expired.stdout or b"").decode(errors="replace")


def judge_plugin(args, copy, build):
    code, output = run([os.path.join(build, "wine-run.sh"), os.path.join(build, "bin", "gdivideo_host.exe"),
                        "--check"], timeout=600)
    verdict = next((l for l in output.splitlines() if l.startswith("verdict:")), "no verdict")
    if code is None:
        return "killed", "the check ran past 600 s"
    if code == 0:
        return "survived", verdict
    if code == 3:
        return "check could not run", verdict
    return "killed", verdict


# What a host that does everything right hears; a long line goes on in parts.
ONLY_OPEN_AND_CLOSE = re.compile(r"gdivideo: (VideoInit: display open|VideoShutdown: display closed|\(continued\))")


def judge_host(args, copy, build, source):
    folder = os.path.join(copy, "..", "hosts")
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, "host.exe")
    dll = os.path.join(build, "bin", "checked", "gdivideo.dll")
    shutil.copy(dll, os.path.join(folder, "gdivideo.dll"))
    compiler = "x86_64-w64-mingw32-gcc-posix" if args.preset == "windows64" else "i686-w64-mingw32-gcc-posix"
    built, _ = run([compiler, "-std=c11", "-O1", "-DGDIVIDEO_64_BIT_TEST_BUILD", "-I", os.path.join(copy, "include"),
                    "-o", exe, source, os.path.join(folder, "gdivideo.dll"), "-lgdi32", "-luser32"], timeout=120)
    if built != 0:
        return "did not build", ""
    env = dict(os.environ, WINEDEBUG="+debugstr")
    code, output = run([os.path.join(build, "wine-run.sh"), exe], timeout=60, env=env)
    if code is None:  # the Windows process outlives its wrapper
        subprocess.run(["pkill", "-f", exe])
    said = [l[l.index("gdivideo: "):].rstrip('\\n"') for l in output.splitlines() if "gdivideo: " in l]
    problems = [l for l in said if not ONLY_OPEN_AND_CLOSE.match(l)]
    if problems:
        return "heard", problems[0][:160]
    ending = "hung" if code is None else "exit %d" % code
    return "silent", ending + (", said only: " + " | ".join(s[:60] for s in said) if said else ", said nothing")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["plugin", "hosts"])
    parser.add_argument("--copy", required=True)
    parser.add_argument("--preset", required=True)
    parser.add_argument("--limit", type=int, default=0)
    parser.add_argument("--only")
    parser.add_argument("--every", type=int, default=1)
    args = parser.parse_args()
    build = os.path.join(args.copy, "build", args.preset)
    if args.mode == "plugin":
        mutants = list(plugin_mutants(plugin_files(args.only)))
    else:
        hosts = ["examples/minimal_host.c", "examples/threaded_host.c", "examples/linked_host.c"]
        mutants = list(host_mutants([h for h in hosts if not args.only or h == args.only]))
    mutants = mutants[::args.every]
    if args.limit:
        mutants = mutants[:args.limit]
    known = explained()
    dll = os.path.join(build, "bin", "gdivideo.dll")
    unchanged = digest(dll)
    counts, unexplained = {}, 0
    start = time.time()
    print("mutants: %d to try" % len(mutants), flush=True)
    for n, (path, number, what, new) in enumerate(mutants, 1):
        original_text = open(os.path.join(ROOT, path)).read()
        lines = original_text.split("\n")
        target = os.path.join(args.copy, path)
        mutated_text = apply(lines, number, new)
        shown = new[1].strip() if isinstance(new, tuple) else new.strip()
        with open(target, "w") as out:
            out.write(mutated_text)
        try:
            if args.mode == "plugin":
                code, _ = run(["cmake", "--build", build, "--target", "gdivideo"], timeout=600)
                if code != 0:
                    result, detail = "did not build", ""
                elif digest(dll) == unchanged:
                    result, detail = "same DLL", ""
                else:
                    result, detail = judge_plugin(args, args.copy, build)
            else:
                result, detail = judge_host(args, args.copy, build, target)
        finally:
            with open(target, "w") as out:
                out.write(original_text)
        counts[result] = counts.get(result, 0) + 1
        where = "%s:%d %s: %s -> %s" % (path, number + 1, what, lines[number].strip(), shown or "(deleted)")
        if result in ("survived", "silent", "check could not run"):
            why = known.get((path, lines[number].strip(), shown if what != "deleted" else "(deleted)"))
            if why is None and what.startswith("moved"):
                why = known.get((path, lines[number].strip(), what))
            if why is None:
                why = known.get((path, lines[number].strip(), "*"))
            if why is None:
                unexplained += 1
            print("%4d %s  [%s: %s]  %s" % (n, where, result, detail, why or "UNEXPLAINED"), flush=True)
        elif os.environ.get("MUTANTS_VERBOSE"):
            print("%4d %s  [%s: %s]" % (n, where, result, detail), flush=True)
    if args.mode == "plugin":
        run(["cmake", "--build", build, "--target", "gdivideo"], timeout=600)
    failed = "killed" if args.mode == "plugin" else "heard"
    built = sum(counts.values()) - counts.get("did not build", 0) - counts.get("same DLL", 0)
    explained_count = sum(counts.get(k, 0) for k in ("survived", "silent", "check could not run")) - unexplained
    print("mutants: %s in %.0f s" % (", ".join("%d %s" % (v, k) for k, v in sorted(counts.items())),
                                    time.time() - start))
    print("mutants: score %d of %d built, %d of the %d not explained as unobservable or beyond the tool" %
          (counts.get(failed, 0), built, counts.get(failed, 0), built - explained_count))
    return 1 if unexplained else 0


if __name__ == "__main__":
    sys.exit(main())
