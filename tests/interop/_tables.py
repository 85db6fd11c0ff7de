"""The rules every saved table part must keep, as Excel checks them: each
header cell is text equal to its column's name, and no two names of a table
are the same (letter case ignored). Returns the broken rules as texts."""
import openpyxl


def table_faults(path):
    faults = []
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        for table in ws.tables.values():
            name = table.displayName
            names = [c.name for c in table.tableColumns]
            if not table.headerRowCount == 0:
                headers = [c.value for c in ws[table.ref][0]]
                if headers != names:
                    faults.append(f"{path} {name}: headers {headers} are not the column names {names}")
                if not all(isinstance(h, str) for h in headers):
                    faults.append(f"{path} {name}: a header is not text: {headers}")
            if len({n.lower() for n in names}) != len(names):
                faults.append(f"{path} {name}: column names repeat: {names}")
    return faults
