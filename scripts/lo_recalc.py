"""A LibreOffice user profile that recomputes every formula of an .xlsx on
load (OOXMLRecalcMode 0, "always"), for the scripts that take LibreOffice's
own recalculation as the oracle or the peer: give soffice the returned value
as -env:UserInstallation."""
import os

RECALC_ALWAYS = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" \
xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" \
oor:op="fuse"><value>0</value></prop></item>
</oor:items>
"""


def recalc_profile(profile):
    """Writes the setting into the profile folder; its UserInstallation URL."""
    os.makedirs(os.path.join(profile, "user"), exist_ok=True)
    with open(os.path.join(profile, "user", "registrymodifications.xcu"), "w") as f:
        f.write(RECALC_ALWAYS)
    return "file://" + profile
