#!/usr/bin/env python3
"""Write a clang VFS overlay that makes header lookups in the given directories
case-insensitive (e.g. <Windows.h> finds windows.h). Usage: mkvfs.py out.yaml DIR..."""
import json, os, sys

def tree(d):
    out = []
    for n in sorted(os.listdir(d)):
        p = os.path.join(d, n)
        if os.path.isdir(p):
            out.append({"name": n, "type": "directory", "contents": tree(p)})
        else:
            out.append({"name": n, "type": "file", "external-contents": os.path.realpath(p)})
    return out

roots = [{"name": os.path.realpath(d), "type": "directory", "contents": tree(d)} for d in sys.argv[2:]]
with open(sys.argv[1], "w") as f:
    json.dump({"version": 0, "case-sensitive": "false", "roots": roots}, f, indent=0)
