# Prints every filled cell of the first worksheet of a workbook as "row<TAB>column<TAB>type<TAB>value".
# The file is handed over as a stream, since the reader refuses names that do not end in .xlsx.
import sys

import openpyxl

with open(sys.argv[1], "rb") as stream:
    book = openpyxl.load_workbook(stream, read_only=True)
    sheet = book.worksheets[0]
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                print(f"{cell.row}\t{cell.column}\t{type(cell.value).__name__}\t{cell.value}")
