#!/usr/bin/env python3
"""Builds the Windows Installer packages of the installer tests with wixl, edits their
tables with msibuild where wixl has no element for a row, and writes TestPackages.h with
their codes for the tests.

Usage: MakePackages.py <output directory> [<product catalogue>]

Every package installs one file of its own and the shared component (one component code,
one file), so that two installed packages share a component registration. A package whose
uninstallation fails does so through a custom action that shows an error (type 19), unless
the property KV_FORCE_REMOVE is set: the tests remove their leftovers with it.

With the product catalogue, every `msi:` item of it (name | upgrade code | manufacturer)
becomes a package too, installing one file into the 32-bit Program Files folder below the
manufacturer's first word and the package name; CataloguePackages.h lists their codes for the
installation simulator.
"""
import os
import re
import uuid
import subprocess
import sys

SHARED_COMPONENT = "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0EFF}"
FAIL_ON_REMOVE = [
    "INSERT INTO CustomAction (Action, Type, Source, Target) "
    "VALUES ('FailOnRemove', 19, '', 'The removal is refused on purpose')",
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
    "VALUES ('FailOnRemove', 'REMOVE=\"ALL\" AND NOT KV_FORCE_REMOVE', 1550)",
]
REBOOT_ON_REMOVE = [
    "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
    "VALUES ('ScheduleReboot', 'REMOVE=\"ALL\"', 6650)",
]

# name, product code, upgrade code, own component code, table edits
UPGRADE_PAIR = "{8C1D3E5F-1A2B-4C3D-9E8F-0A1B2C3D4E01}"
UPGRADE_MIXED = "{8C1D3E5F-1A2B-4C3D-9E8F-0A1B2C3D4E02}"
UPGRADE_BROKEN = "{8C1D3E5F-1A2B-4C3D-9E8F-0A1B2C3D4E03}"
UPGRADE_KEEPER = "{8C1D3E5F-1A2B-4C3D-9E8F-0A1B2C3D4E04}"
PACKAGES = [
    ("PairPlain", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F01}", UPGRADE_PAIR,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E01}", []),
    ("PairReboot", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F02}", UPGRADE_PAIR,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E02}", REBOOT_ON_REMOVE),
    ("MixedReboot", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F03}", UPGRADE_MIXED,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E03}", REBOOT_ON_REMOVE),
    ("MixedFail", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F04}", UPGRADE_MIXED,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E04}", FAIL_ON_REMOVE),
    ("BrokenFail", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F05}", UPGRADE_BROKEN,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E05}", FAIL_ON_REMOVE),
    ("Keeper", "{6F2E4A10-5B3C-4D2E-8F1A-2B3C4D5E6F06}", UPGRADE_KEEPER,
     "{7A5C0D1E-2B3F-4C4D-8E5F-6A7B8C9D0E06}", []),
]

WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="Korvane Test {name}" Language="1033" Version="1.0.0"
           Manufacturer="Korvane Test" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="files.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="KorvaneTest" Name="KorvaneTest">
          <Directory Id="OwnFolder" Name="{name}">
            <Component Id="Own" Guid="{component}">
              <File Id="OwnFile" Name="{name}.txt" Source="{text}" KeyPath="yes"/>
            </Component>
          </Directory>
          <Directory Id="SharedFolder" Name="Shared">
            <Component Id="Shared" Guid="{shared}">
              <File Id="SharedFile" Name="shared.txt" Source="{text}" KeyPath="yes"/>
            </Component>
          </Directory>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Feature{name}" Level="1">
      <ComponentRef Id="Own"/>
      <ComponentRef Id="Shared"/>
    </Feature>
  </Product>
</Wix>
"""


CATALOGUE_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="{manufacturer} {name}" Language="1033" Version="1.0.0"
           Manufacturer="{manufacturer}" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="files.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="MakerFolder" Name="{maker}">
          <Directory Id="OwnFolder" Name="{name}">
            <Component Id="Own" Guid="{component}">
              <File Id="OwnFile" Name="{name}.dat" Source="{text}" KeyPath="yes"/>
            </Component>
          </Directory>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Feature{name}" Level="1">
      <ComponentRef Id="Own"/>
    </Feature>
  </Product>
</Wix>
"""


def catalogue_packages(path):
    """(name, upgrade code, manufacturer) of every msi item of the catalogue."""
    packages = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            match = re.match(r"msi:\s*(.+)$", line.strip())
            if match:
                name, upgrade, manufacturer = (part.strip() for part in match.group(1).split("|"))
                packages.append((name, upgrade, manufacturer))
    return packages


def braced(seed):
    return "{" + str(uuid.uuid5(uuid.NAMESPACE_URL, "purgekit-tests/" + seed)).upper() + "}"


def make_catalogue_packages(out, catalogue, text):
    rows = []
    for name, upgrade, manufacturer in catalogue_packages(catalogue):
        product = braced(name + "/product")
        wxs = os.path.join(out, name + ".wxs")
        with open(wxs, "w") as f:
            f.write(CATALOGUE_WXS.format(name=name, product=product, upgrade=upgrade,
                                         manufacturer=manufacturer,
                                         maker=manufacturer.split()[0],
                                         component=braced(name + "/component"), text=text))
        subprocess.run(["wixl", "-o", os.path.join(out, name + ".msi"), wxs], check=True, cwd=out)
        rows.append(f'    {{L"{name}", L"{product}", L"{upgrade}"}},')
    lines = ["#pragma once", "", "// Made by MakePackages.py from the msi items of the product catalogue.",
             "", "struct CataloguePackage {", "  const wchar_t* name;",
             "  const wchar_t* productCode;", "  const wchar_t* upgradeCode;", "};", "",
             "inline constexpr CataloguePackage kCataloguePackages[] = {"] + rows + ["};"]
    with open(os.path.join(out, "CataloguePackages.h"), "w") as f:
        f.write("\n".join(lines) + "\n")


def header_name(name):
    return "".join("_" + c if c.isupper() and i else c.upper() for i, c in enumerate(name)).upper()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    # wixl finds the files relative to its working directory.
    text = "content.txt"
    with open(os.path.join(out, text), "w") as f:
        f.write("Korvane installer test file\n")
    lines = ["#pragma once", "", "// Made by MakePackages.py with the packages of the same names.", ""]
    for code, value in (("PAIR", UPGRADE_PAIR), ("MIXED", UPGRADE_MIXED),
                        ("BROKEN", UPGRADE_BROKEN), ("KEEPER", UPGRADE_KEEPER)):
        lines.append(f'#define UPGRADE_{code} L"{value}"')
    lines.append(f'#define SHARED_COMPONENT L"{SHARED_COMPONENT}"')
    for name, product, upgrade, component, edits in PACKAGES:
        wxs = os.path.join(out, name + ".wxs")
        msi = os.path.join(out, name + ".msi")
        with open(wxs, "w") as f:
            f.write(WXS.format(name=name, product=product, upgrade=upgrade, component=component,
                               shared=SHARED_COMPONENT, text=text))
        subprocess.run(["wixl", "-o", msi, wxs], check=True, cwd=out)
        for query in edits:
            subprocess.run(["msibuild", msi, "-q", query], check=True)
        lines.append(f'#define PRODUCT_{header_name(name)} L"{product}"')
        lines.append(f'#define COMPONENT_{header_name(name)} L"{component}"')
    with open(os.path.join(out, "TestPackages.h"), "w") as f:
        f.write("\n".join(lines) + "\n")
    if len(sys.argv) > 2:
        make_catalogue_packages(out, sys.argv[2], text)


if __name__ == "__main__":
    main()
