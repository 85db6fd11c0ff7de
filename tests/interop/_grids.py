"""Helpers the interop scripts share for comparing grids of cell texts."""


def trimmed(rows):
    """The grid without the empty cells and rows at its far edges."""
    rows = [list(r) for r in rows]
    for r in rows:
        while r and r[-1] == "":
            r.pop()
    while rows and not rows[-1]:
        rows.pop()
    return rows
