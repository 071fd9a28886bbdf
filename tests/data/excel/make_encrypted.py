# Writes lo_standard_default.xlsx and lo_standard_password.xlsx: openpyxl_客户.xlsx saved again by
# LibreOffice with an open password (its "Standard" encryption: AES-128, SHA-1), the default one
# and another. Needs python3-uno: /usr/bin/python3 make_encrypted.py
import os
import subprocess
import sys
import time

import uno
from com.sun.star.beans import NamedValue, PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def named(name, value):
    v = NamedValue()
    v.Name, v.Value = name, value
    return v


here = os.path.dirname(os.path.abspath(__file__))
source = os.path.join(here, "openpyxl_客户.xlsx")
targets = [("lo_standard_default.xlsx", "VelvetSweatshop"), ("lo_standard_password.xlsx", "另一个密码")]
pipe = "qx_encrypt_%d" % os.getpid()
profile = "/tmp/qx_encrypt_profile_%d" % os.getpid()
office = subprocess.Popen(["soffice", "--headless", "--norestore", "--nologo",
                           "-env:UserInstallation=file://" + profile,
                           "--accept=pipe,name=%s;urp;" % pipe])
try:
    ctx = uno.getComponentContext()
    resolver = ctx.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", ctx)
    for _ in range(100):
        try:
            remote = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            break
        except Exception:
            time.sleep(0.3)
    else:
        sys.exit("LibreOffice did not start")
    desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)
    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0,
                                       (prop("Hidden", True),))
    for name, password in targets:
        # The OOXML export encrypts when the encryption data names a password and an engine
        # (LibreOffice 7.4 writes only "Standard").
        data = uno.Any("[]com.sun.star.beans.NamedValue",
                       (named("OOXPassword", password), named("CryptoType", "Standard")))
        uno.invoke(doc, "storeToURL", (uno.systemPathToFileUrl(os.path.join(here, name)),
                                       (prop("FilterName", "Calc MS Excel 2007 XML"),
                                        prop("EncryptionData", data))))
    doc.close(True)
    try:
        desktop.terminate()
    except Exception:
        pass
finally:
    try:
        office.wait(timeout=20)
    except subprocess.TimeoutExpired:
        office.kill()
