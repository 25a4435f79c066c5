# Prints every filled cell of the first worksheet of a workbook as "row<TAB>column<TAB>type<TAB>value",
# or with "widths" after the path, every column given a width as "column<TAB>width".
# The file is handed over as a stream, since the reader refuses names that do not end in .xlsx.
import sys

import openpyxl
from openpyxl.utils import column_index_from_string

with open(sys.argv[1], "rb") as stream:
    if len(sys.argv) > 2 and sys.argv[2] == "widths":
        sheet = openpyxl.load_workbook(stream).worksheets[0]
        for letter, dimension in sheet.column_dimensions.items():
            if dimension.customWidth:
                for column in range(dimension.min, dimension.max + 1):
                    print(f"{column}\t{dimension.width}")
        sys.exit(0)
    book = openpyxl.load_workbook(stream, read_only=True)
    sheet = book.worksheets[0]
    for row in sheet.iter_rows():
        for cell in row:
            if cell.value is not None:
                print(f"{cell.row}\t{cell.column}\t{type(cell.value).__name__}\t{cell.value}")
