#!/usr/bin/python3
"""Prints every row of an exported file as one JSON list per line, read by the readers other
programs use: openpyxl for .xlsx, the csv module for CSV (the byte-order mark skipped)."""
import csv
import json
import sys

import openpyxl


def rows(path):
    if path.endswith(".xlsx"):
        sheet = openpyxl.load_workbook(path, read_only=True).active
        return [["" if v is None else v for v in row] for row in sheet.iter_rows(values_only=True)]
    with open(path, encoding="utf-8-sig", newline="") as f:
        return list(csv.reader(f))


for row in rows(sys.argv[1]):
    print(json.dumps(row, ensure_ascii=False))
