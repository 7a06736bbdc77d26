"""Writes, as JSON to the file OUT, what BitBake evaluates for RECIPE: the
variables named, each package's FILES and ALTERNATIVE, and each alternative's
link, target and priority as the update-alternatives class takes them.  Run
by the Yocto checks in an initialised build directory, as BitBake's user.

Usage: python3 yocto_values.py OUT RECIPE [VARIABLE...]
"""

import json
import os
import shutil
import sys

# The environment's bitbake is BitBake's bin/bitbake, beside its lib/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(shutil.which("bitbake"))),
                                "lib"))
import bb.tinfoil  # noqa: E402


def alternative(d, pkg, name):
    link = d.getVarFlag("ALTERNATIVE_LINK_NAME", name) or "%s/%s" % (d.getVar("bindir"), name)
    return {"package": pkg, "link": link,
            "target": d.getVarFlag("ALTERNATIVE_TARGET", name) or d.getVar("ALTERNATIVE_TARGET")
            or link,
            "priority": int(d.getVarFlag("ALTERNATIVE_PRIORITY", name)
                            or d.getVar("ALTERNATIVE_PRIORITY") or 10)}


def main(out, recipe, names):
    with bb.tinfoil.Tinfoil() as tinfoil:
        tinfoil.prepare(quiet=2)
        d = tinfoil.parse_recipe(recipe)
        packages = (d.getVar("PACKAGES") or "").split()
        values = {"variables": {n: d.getVar(n) for n in names}, "packages": packages,
                  "files": {p: (d.getVar("FILES:" + p) or "").split() for p in packages},
                  "alternatives": {n: alternative(d, p, n) for p in packages
                                   for n in (d.getVar("ALTERNATIVE:" + p) or "").split()}}
    with open(out, "w") as f:
        json.dump(values, f, indent=1)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
