#!/usr/bin/python3
"""Writes samples/Quarterly.xlsx, the workbook the demo imports and plays.

Made with openpyxl so that the sample comes from a program nobody here wrote:
three sheets with text, numbers, a date, a formula with its cached value
missing (openpyxl writes none) and a cell with leading blanks.
"""
import datetime
import sys

import openpyxl

out = sys.argv[1] if len(sys.argv) > 1 else "Quarterly.xlsx"
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Summary"
ws.append(["Region", "Q1", "Q2", "Q3", "Q4", "Total"])
rows = [("North", 1200.5, 1350, 1410.25, 1600), ("South", 980, 1020.75, 1105, 1230),
        ("East", 1500, 1475.5, 1530, 1690.1), ("West", 760.25, 810, 905.5, 990)]
for r in rows:
    ws.append(list(r) + [sum(r[1:])])
ws["A8"] = "Prepared"
ws["B8"] = datetime.date(2026, 3, 7)
ws["B8"].number_format = "yyyy-mm-dd"

ws = wb.create_sheet("Staff")
ws.append(["Name", "Team", "Started", "Hours"])
for i, (n, t) in enumerate([("Ana", "North"), ("Björn", "South"), ("Chloé", "East"),
                            ("Dmitri", "West"), ("Eun-ji", "North")]):
    ws.append([n, t, datetime.date(2020 + i, 1 + i, 10 + i), 30 + i * 2.5])
    ws.cell(row=ws.max_row, column=3).number_format = "dd.mm.yyyy"

ws = wb.create_sheet("Notes")
ws["A1"] = "Figures in EUR thousands."
ws["A2"] = "  indented note"
ws["A3"] = "Line one\nline two"
ws["B5"] = True
ws["C6"] = "=1/0"
wb.save(out)
