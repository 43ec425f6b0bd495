#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# What a screen reader learns of the reader's voice list through AT-SPI:
# prints its name, its text, and the entries its list marks as selected,
# one per line:   NAME \t TEXT \t SELECTED[,SELECTED...]
# With an index, also the name of that entry of the list.
#   voice_list_atspi.py [INDEX]
import sys
import time

import pyatspi


def walk(accessible):
    yield accessible
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def voice_list():
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "Sayrella":
                for accessible in walk(app):
                    if accessible.getRole() == pyatspi.ROLE_COMBO_BOX:
                        return accessible
        time.sleep(0.2)
    sys.exit("no voice list on the accessibility bus")


box = voice_list()
try:
    text = box.queryText().getText(0, -1)
except NotImplementedError:
    text = "(no text)"
entries = [box.getChildAtIndex(i) for i in range(box.childCount)]
entries = next((c for c in entries if c.getRole() == pyatspi.ROLE_LIST), None)
if entries is None:
    sys.exit("the voice list has no list of entries")
selected = [entries.getChildAtIndex(i).name for i in range(entries.childCount)
            if entries.getChildAtIndex(i).getState().contains(pyatspi.STATE_SELECTED)]
print("%s\t%s\t%s" % (box.name, text, ",".join(selected)))
if len(sys.argv) > 1:
    print(entries.getChildAtIndex(int(sys.argv[1])).name)
