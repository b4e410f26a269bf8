#!/usr/bin/env python3
"""Packs the portable Linux archive of a build (native, or a cross build with its sysroot):
glasswhirligo-VERSION-linux-MACHINE.tar.gz, unpacked into one folder that runs anywhere:

    glasswhirligo -> bin/glasswhirligo   the program; its DT_RPATH $ORIGIN/../lib finds lib/
    lib/                                 the libraries a desktop may lack: SDL 1.2 and 2,
                                         SDL_mixer, Vorbis and the mixer's other decoders
    share/glasswhirligo/                 fonts16.bin, demosong.ogg (found beside bin/)
    README.txt LICENSE.txt copyright glasswhirligo.nfo file_id.diz

Every library the program needs, and theirs in turn, is carried, except what every desktop
Linux has (SYSTEM below): the C library, the C++ run-time, and the display and sound libraries,
which must come from the machine so that they match its X server, compositor and sound server.
Writes the newest glibc symbol version it needs to glibc-MACHINE.txt beside it.
  portable.py <build folder> <out folder>"""
import os
import re
import shutil
import subprocess
import sys
import tarfile

SYSTEM = re.compile(r"^(ld-linux.*|libc|libm|libdl|libpthread|librt|libresolv|libstdc\+\+|libgcc_s"
                    r"|libX11|libX11-xcb|libxcb|libXau|libXdmcp|libXext|libXrender|libXfixes|libXi"
                    r"|libXrandr|libXcursor|libwayland-(client|cursor|egl|server)|libxkbcommon"
                    r"|libdrm|libgbm|libasound|libpulse|libpulse-simple|libdbus-1)\.so\.[0-9.]+$")
TRIPLETS = {"x86_64": "x86_64-linux-gnu", "aarch64": "aarch64-linux-gnu"}


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def needed(path):
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run("readelf", "-d", path))


def machine(path):
    header = run("readelf", "-h", path)
    if "X86-64" in header:
        return "x86_64"
    if "AArch64" in header:
        return "aarch64"
    sys.exit("portable: %s is neither x86-64 nor AArch64" % path)


def library_dirs(root, triplet):
    base = [root + "/usr/lib/" + triplet, root + "/lib/" + triplet]
    # Debian keeps the SDL 1.2 layer and PulseAudio's common part in folders of their own.
    return base + [d + "/" + sub for d in base for sub in ("sdl12-compat", "pulseaudio")]


def closure(program, dirs):
    carried, todo = {}, list(needed(program))
    while todo:
        name = todo.pop()
        if name in carried or SYSTEM.match(name):
            continue
        found = next((d + "/" + name for d in dirs if os.path.exists(d + "/" + name)), None)
        if found is None:
            sys.exit("portable: %s not found in %s" % (name, " ".join(dirs)))
        carried[name] = os.path.realpath(found)
        todo += needed(found)
    return carried


def glibc_floor(paths):
    versions = set()
    for path in paths:
        versions |= set(re.findall(r"GLIBC_([0-9.]+)", run("objdump", "-T", path)))
    return max(versions, key=lambda v: tuple(int(p) for p in v.split(".")))


def main(build, out):
    build, root = os.path.abspath(build), ""
    if os.path.exists(build + "/sysroot/.complete"):
        root = build + "/sysroot"
    version = open(build + "/version.txt").read().strip()
    program = build + "/portable/glasswhirligo"
    arch = machine(program)
    name = "glasswhirligo-%s-linux-%s" % (version, arch)
    stage = os.path.join(out, name)
    shutil.rmtree(stage, ignore_errors=True)
    for sub in ("bin", "lib", "share/glasswhirligo"):
        os.makedirs(os.path.join(stage, sub))
    shutil.copy2(program, stage + "/bin/glasswhirligo")
    os.symlink("bin/glasswhirligo", stage + "/glasswhirligo")
    carried = closure(program, library_dirs(root, TRIPLETS[arch]))
    for soname, path in sorted(carried.items()):
        shutil.copy2(path, os.path.join(stage, "lib", soname))
    for data in ("fonts16.bin", "demosong.ogg"):
        shutil.copy2(os.path.join(build, data), stage + "/share/glasswhirligo/")
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.path.dirname(here)
    for info in ("glasswhirligo.nfo", "file_id.diz"):
        shutil.copy2(os.path.join(build, "release-info", info), stage)
    shutil.copy2(source + "/LICENSE", stage + "/LICENSE.txt")
    shutil.copy2(source + "/packaging/copyright", stage + "/copyright")
    floor = glibc_floor([program] + list(carried.values()))
    with open(source + "/packaging/portable-README.txt") as f:
        text = f.read().replace("@VERSION@", version).replace("@MACHINE@", arch).replace("@GLIBC@", floor)
    with open(stage + "/README.txt", "w") as f:
        f.write(text.replace("@LIBRARIES@", "\n".join("  " + s for s in sorted(carried))))
    archive = stage + ".tar.gz"
    with tarfile.open(archive, "w:gz", compresslevel=9) as tar:
        tar.add(stage, arcname=name)
    with open(os.path.join(out, "glibc-%s.txt" % arch), "w") as f:
        f.write(floor + "\n")
    print("portable: %s (%.2f MB), needs glibc %s" % (archive, os.path.getsize(archive) / 1048576, floor))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: portable.py <build folder> <out folder>")
    main(*sys.argv[1:])
