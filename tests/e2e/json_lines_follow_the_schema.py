#!/usr/bin/env python3
"""Holds every JSON line the end-to-end runs read from the programs (their --json
events and their record lines) against the schema the program ships, so that a
field that changes without the schema fails the suite.

usage: json_lines_follow_the_schema.py SCHEMA LINES"""
import collections
import json
import sys

import jsonschema

schema_path, lines_path = sys.argv[1], sys.argv[2]
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
kinds = collections.Counter()
failures = 0
try:
    with open(lines_path, encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
except FileNotFoundError:
    lines = []
for number, line in enumerate(sorted(set(lines)), 1):
    value = json.loads(line)
    kinds[value.get("event", "(record)") if isinstance(value, dict) else "?"] += 1
    errors = sorted(validator.iter_errors(value), key=lambda e: list(e.path))
    if errors:
        failures += 1
        if failures <= 20:
            print("NOT IN THE SCHEMA:", line)
            for error in errors[:3]:
                print("   ", error.message)
print(f"{len(lines)} lines ({len(set(lines))} different), by kind: "
      + ", ".join(f"{k} {n}" for k, n in sorted(kinds.items())))
if not lines:
    print("no JSON line was read: the tests no longer log what they read")
    sys.exit(1)
if failures:
    print(f"{failures} lines do not follow {schema_path}")
    sys.exit(1)
print(f"every line follows {schema_path}")
