#!/usr/bin/env python3
"""Trims ucrtbase.def and writes oldnames.def, in the folder of .def files made from Wine's DLLs.

ucrtbase.dll: the import library leaves out what vcruntime140.dll exports (under Microsoft's
runtime the mem*/str* functions live there) and what the start-up library defines itself.
oldnames.def: the POSIX spellings (open, strdup, ...) as aliases of the UCRT's underscore names.
Usage: runtime_defs.py DEFS_FOLDER OLDNAMES_TXT"""
import os
import sys


def names(lines):
    return {line.split()[0] for line in lines if line.strip()}


def main(defs, oldnames_txt):
    vcruntime = names(open(os.path.join(defs, "vcruntime140.def")).read().splitlines()[2:])
    ucrt_path = os.path.join(defs, "ucrtbase.def")
    lines = open(ucrt_path).read().splitlines()
    defined_here = {"atexit", "_onexit", "at_quick_exit"}
    kept = [l for l in lines[2:] if l.split()[0] not in vcruntime | defined_here]
    open(ucrt_path, "w").write("\n".join(lines[:2] + kept) + "\n")

    ucrt = names(lines[2:])
    out = ["LIBRARY ucrtbase.dll", "EXPORTS"]
    for name in open(oldnames_txt).read().split():
        if name not in ucrt and "_" + name in ucrt:
            out.append("    %s == _%s" % (name, name))
    open(os.path.join(defs, "oldnames.def"), "w").write("\n".join(out) + "\n")


if __name__ == "__main__":
    main(*sys.argv[1:])
