#!/usr/bin/env python3.14
"""`velmora solve` as a script: python3.14 examples/solve.py [options] [FILE]."""
from velmora_cli.cli import solve_script
raise SystemExit(solve_script())
