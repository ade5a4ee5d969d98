#!/usr/bin/python3
"""Writes the spreadsheet fixtures of the SMS module's tests into this directory.

BIFF8 workbooks come from xlwt (Debian python3-xlwt): texts as shared strings, small integers
as RK cells, large numbers as NUMBER cells, dates with a date format. xlwt writes no BIFF5, so
the BIFF5 workbook, whose texts are code page 949, is composed here record by record and put
into the same compound-document container that xlwt uses.

Run it again after changing it: /usr/bin/python3 make_sheets.py
"""
import datetime
import os
import struct

import xlwt
from xlwt.CompoundDoc import XlsDoc

HERE = os.path.dirname(os.path.abspath(__file__))
HEADER = ("SendPhone", "ReceivePhone")


def biff8(name, rows, sheet="Sheet1", header=HEADER):
    """rows: tuples of cell values; None leaves the cell empty."""
    book = xlwt.Workbook(encoding="utf-8")
    page = book.add_sheet(sheet)
    dated = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    for column, title in enumerate(header):
        page.write(0, column, title)
    for number, row in enumerate(rows, start=1):
        for column, value in enumerate(row):
            if value is None:
                continue
            if isinstance(value, datetime.datetime):
                page.write(number, column, value, dated)
            else:
                page.write(number, column, value)
    book.save(os.path.join(HERE, name))


def record(kind, body):
    return struct.pack("<HH", kind, len(body)) + body


def biff5_text(text):
    data = text.encode("cp949")
    return struct.pack("<H", len(data)) + data


def biff5(name, rows, sheet="Sheet1", header=HEADER):
    """A BIFF5 workbook in code page 949 with one sheet; text cells are LABEL records,
    numbers NUMBER records."""
    cells = []
    for number, row in enumerate([header] + list(rows)):
        for column, value in enumerate(row):
            if value is None:
                continue
            if isinstance(value, str):
                cells.append(record(0x0204, struct.pack("<HHH", number, column, 15)
                                    + biff5_text(value)))
            else:
                cells.append(record(0x0203, struct.pack("<HHHd", number, column, 15, value)))
    columns = max(len(row) for row in [header] + list(rows))
    worksheet = (record(0x0809, struct.pack("<HHHH", 0x0500, 0x0010, 0x0DBB, 0x07CC))
                 + record(0x0200, struct.pack("<HHHHH", 0, len(rows) + 1, 0, columns, 0))
                 + b"".join(cells)
                 + record(0x000A, b""))

    font = record(0x0031, struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0)
                  + bytes([5]) + b"Arial")
    style_xf = record(0x00E0, struct.pack("<HHHHHHHH", 0, 0, 0xFFF5, 0x20, 0, 0, 0, 0))
    cell_xf = record(0x00E0, struct.pack("<HHHHHHHH", 0, 0, 0x0001, 0x20, 0, 0, 0, 0))
    head = (record(0x0809, struct.pack("<HHHH", 0x0500, 0x0005, 0x0DBB, 0x07CC))
            + record(0x0042, struct.pack("<H", 949))
            + record(0x0022, struct.pack("<H", 0))
            + font * 5
            + style_xf * 15
            + cell_xf)
    sheet_name = sheet.encode("cp949")
    boundsheet_size = 4 + 7 + len(sheet_name)
    offset = len(head) + boundsheet_size + 4
    globals_ = (head
                + record(0x0085, struct.pack("<LBBB", offset, 0, 0, len(sheet_name)) + sheet_name)
                + record(0x000A, b""))
    XlsDoc().save(os.path.join(HERE, name), globals_ + worksheet)


def main():
    biff8("three_rows.xls", [
        ("0212345678", "01011112222", "홍길동", datetime.datetime(2006, 9, 27, 6, 15, 45)),
        (1588, "01033334444", "Kim"),
        ("0312223333", "01055556666", "Lee"),
    ], header=HEADER + ("Name", "Sent"))
    biff8("empty_receiver.xls", [
        ("0211112222", "01011112222"),
        ("0233334444", None),
        ("0255556666", "01077778888"),
    ])
    biff5("receivers.xls", [
        ("0212345678", 1012345678.0, "홍길동"),
        ("0212345678", "01012345678", "김철수"),
    ], header=HEADER + ("이름",))
    biff8("header_only.xls", [])
    biff8("no_sheet1.xls", [("0212345678", "01011112222")], sheet="Numbers")
    with open(os.path.join(HERE, "not_a_workbook.xls"), "w") as text:
        text.write("SendPhone,ReceivePhone\n0212345678,01011112222\n")


if __name__ == "__main__":
    main()
