#!/usr/bin/python3
"""Validates camera-info reports against the report's JSON Schema.

Usage: validate-reports.py SCHEMA REPORT_DIR [REPORT_DIR ...]

Every report-*.txt and expected.txt below the directories must be valid,
and there must be one. The schema must be a valid draft 2020-12 schema that
rejects documents no camera-info writes, so that a schema that accepts
everything cannot pass.
"""
import json
import pathlib
import sys

import jsonschema

CAMERA = {"name": "n", "vid": "v", "pid": "p", "detail": "d"}
NOT_REPORTS = [
    {},
    {"version": "1.0.0"},
    {"cameraInfo": [], "version": "1.0.1"},
    {"version": "1.0.1", "cameras": []},
    {"cameraInfo": [{"name": "n", "vid": "v", "detail": "d"}], "version": "1.0.1"},
    {"cameraInfo": [{**CAMERA, "x": ""}], "version": "1.0.1"},
    {"cameraInfo": [{**CAMERA, "vid": 1133}], "version": "1.0.1"},
    [],
]

schema = json.loads(pathlib.Path(sys.argv[1]).read_text(encoding="utf-8"))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failures = [f"the schema accepts {json.dumps(d)}" for d in NOT_REPORTS if validator.is_valid(d)]
reports = sorted(path for directory in sys.argv[2:] for pattern in ("report-*.txt", "expected.txt")
                 for path in pathlib.Path(directory).rglob(pattern))
if not reports:
    failures.append("no report to validate in " + ", ".join(sys.argv[2:]))
for path in reports:
    # Reports are UTF-8 without a byte-order mark.
    error = jsonschema.exceptions.best_match(
        validator.iter_errors(json.loads(path.read_bytes().decode("utf-8"))))
    if error:
        failures.append(f"{path}: {error.message}")
for failure in failures:
    print("FAIL:", failure)
checked = len(reports) + len(NOT_REPORTS)
print(f"{len(reports)} reports and {len(NOT_REPORTS)} non-reports checked against {sys.argv[1]}")
print(f"{checked - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
