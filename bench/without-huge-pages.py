#!/usr/bin/env python3
"""Runs a command with transparent huge pages turned off for its process and its children
(prctl PR_SET_THP_DISABLE), to time it as it runs where the kernel gives none:

    bench/without-huge-pages.py build/bench/gui_bench --window list.m3u
"""
import ctypes
import os
import sys

PR_SET_THP_DISABLE = 41

if len(sys.argv) < 2:
    sys.exit(__doc__)
if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0:
    sys.exit("prctl(PR_SET_THP_DISABLE): " + os.strerror(ctypes.get_errno()))
os.execvp(sys.argv[1], sys.argv[1:])
