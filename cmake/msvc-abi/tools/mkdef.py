#!/usr/bin/env python3
"""Write a .def file for a PE DLL from its export table (via llvm-readobj).
Exports whose RVA is outside executable sections are marked DATA, so that the
import library offers only __imp_<name> for them (no code thunk)."""
import re, subprocess, sys, os

def main(dll, out, readobj="llvm-readobj-19", libname=None):
    txt = subprocess.run([readobj, "--sections", "--coff-exports", dll],
                         capture_output=True, text=True, check=True).stdout
    secs = []
    for m in re.finditer(r"Section \{(.*?)\n  \}", txt, re.S):
        body = m.group(1)
        va = int(re.search(r"VirtualAddress: (0x[0-9A-Fa-f]+)", body).group(1), 16)
        vs = int(re.search(r"VirtualSize: (0x[0-9A-Fa-f]+)", body).group(1), 16)
        ex = "IMAGE_SCN_MEM_EXECUTE" in body
        secs.append((va, va + vs, ex))
    lines = []
    for m in re.finditer(r"Export \{(.*?)\n\}", txt, re.S):
        body = m.group(1)
        nm = re.search(r"Name: (\S*)", body)
        if not nm or not nm.group(1):
            continue  # ordinal-only export
        name = nm.group(1)
        rva = re.search(r"RVA: (0x[0-9A-Fa-f]+)", body)
        data = False
        if rva:
            r = int(rva.group(1), 16)
            data = not any(a <= r < b and ex for a, b, ex in secs)
        lines.append(name + (" DATA" if data else ""))
    libname = libname or os.path.basename(dll)
    with open(out, "w") as f:
        f.write("LIBRARY %s\nEXPORTS\n" % libname)
        for l in lines:
            f.write("    %s\n" % l)
    print("%s: %d exports (%d DATA)" % (libname, len(lines), sum(l.endswith(" DATA") for l in lines)))

if __name__ == "__main__":
    main(*sys.argv[1:])
