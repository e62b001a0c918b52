#!/usr/bin/env python3
"""Writes the small seed files of the engine's fuzz targets (ooxmlPackage_fuzz, ooxmlSlides_fuzz,
zipSalvage_fuzz) into corpus/. Run from this folder; the output is committed, so run it only to
change seeds."""
import io
import os
import struct
import zipfile

P = "http://schemas.openxmlformats.org/presentationml/2006/main"
A = "http://schemas.openxmlformats.org/drawingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
DGM = "http://schemas.openxmlformats.org/drawingml/2006/diagram"
MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
P14 = "http://schemas.microsoft.com/office/powerpoint/2010/main"
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"


def para(text, level=None):
    ppr = "" if level is None else f'<a:pPr lvl="{level}"/>'
    return f"<a:p>{ppr}<a:r><a:t>{text}</a:t></a:r></a:p>"


def shape(ph, paragraphs):
    phx = f'<p:ph type="{ph}"/>' if ph else ""
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="2" name="s"/><p:cNvSpPr/><p:nvPr>{phx}</p:nvPr>'
            f"</p:nvSpPr><p:txBody><a:bodyPr/>{paragraphs}</p:txBody></p:sp>")


def slide(shapes):
    return (f'<?xml version="1.0" encoding="UTF-8"?><p:sld xmlns:a="{A}" xmlns:r="{R}" '
            f'xmlns:p="{P}"><p:cSld><p:spTree>{shapes}</p:spTree></p:cSld></p:sld>')


TABLE = ('<p:graphicFrame><a:graphic><a:graphicData><a:tbl><a:tr>'
         '<a:tc gridSpan="2"><a:txBody>' + para("wide") + '</a:txBody></a:tc>'
         '<a:tc hMerge="1"><a:txBody>' + para("x") + '</a:txBody></a:tc></a:tr><a:tr>'
         '<a:tc><a:txBody>' + para("a") + '</a:txBody></a:tc><a:tc vMerge="1"/></a:tr>'
         '</a:tbl></a:graphicData></a:graphic></p:graphicFrame>')
DIAGRAM = (f'<p:graphicFrame><a:graphic><a:graphicData><dgm:relIds xmlns:dgm="{DGM}" '
           'r:dm="rId2"/></a:graphicData></a:graphic></p:graphicFrame>')
ALTERNATE = (f'<mc:AlternateContent xmlns:mc="{MC}"><mc:Choice xmlns:p14="{P14}" Requires="p14">'
             + shape("", para("choice")) + "</mc:Choice><mc:Fallback>"
             + shape("", para("fallback")) + "</mc:Fallback></mc:AlternateContent>")
GROUP = ('<p:grpSp>' + shape("", para("in group")) + '<p:grpSp>'
         + shape("", '<a:p><a:r><a:t>x</a:t></a:r><a:br/><a:fld type="slidenum"><a:t>3</a:t>'
                 '</a:fld></a:p>') + '</p:grpSp></p:grpSp>')
DATA = (f'<dgm:dataModel xmlns:dgm="{DGM}" xmlns:a="{A}"><dgm:ptLst>'
        '<dgm:pt modelId="0" type="doc"/><dgm:pt modelId="1"><dgm:t>' + para("node")
        + '</dgm:t></dgm:pt><dgm:pt modelId="2" type="asst"><dgm:t>' + para("sub")
        + '</dgm:t></dgm:pt></dgm:ptLst><dgm:cxnLst>'
        '<dgm:cxn modelId="5" srcId="0" destId="1" srcOrd="0" destOrd="0"/>'
        '<dgm:cxn modelId="6" srcId="1" destId="2" srcOrd="0" destOrd="0"/>'
        '</dgm:cxnLst></dgm:dataModel>')

SLIDES = [
    slide(shape("title", para("Title")) + shape("body", para("one", 0) + para("two", 1))),
    slide(TABLE + GROUP + ALTERNATE),
    slide(DIAGRAM),
]


def rels(items):
    body = "".join(f'<Relationship Id="{i}" Type="{R}/{t}" Target="{target}"/>'
                   for i, t, target in items)
    return f'<?xml version="1.0"?><Relationships xmlns="{RELS}">{body}</Relationships>'


class Streamed(io.RawIOBase):
    """An output that cannot seek back: zipfile then puts each entry's sizes in a data
    descriptor after its data, as streaming writers do."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def package(macros=False, streamed=False):
    out = Streamed() if streamed else io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "ppt/presentation.xml")]))
        ids = "".join(f'<p:sldId id="{256 + i}" r:id="rId{10 + i}"/>' for i in range(len(SLIDES)))
        z.writestr("ppt/presentation.xml",
                   f'<p:presentation xmlns:p="{P}" xmlns:r="{R}"><p:sldIdLst>{ids}'
                   "</p:sldIdLst></p:presentation>")
        items = [(f"rId{10 + i}", "slide", f"slides/slide{i + 1}.xml") for i in range(len(SLIDES))]
        if macros:
            z.writestr("ppt/vbaProject.bin", b"x")
            body = rels(items).replace(
                "</Relationships>",
                '<Relationship Id="rId9" Type="http://schemas.microsoft.com/office/2006/'
                'relationships/vbaProject" Target="vbaProject.bin"/></Relationships>')
            z.writestr("ppt/_rels/presentation.xml.rels", body)
        else:
            z.writestr("ppt/_rels/presentation.xml.rels", rels(items))
        for i, xml in enumerate(SLIDES):
            z.writestr(f"ppt/slides/slide{i + 1}.xml", xml)
        z.writestr("ppt/slides/_rels/slide3.xml.rels",
                   rels([("rId2", "diagramData", "../diagrams/data1.xml")]))
        z.writestr("ppt/diagrams/data1.xml", DATA)
    return bytes(out.data) if streamed else out.getvalue()


def without_directory(zip_bytes):
    return zip_bytes[:zip_bytes.find(b"PK\x01\x02")]


CHART = (f'<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
         f'xmlns:a="{A}"><c:chart><c:title><c:tx><c:rich>{para("Revenue")}</c:rich></c:tx>'
         "</c:title><c:plotArea><c:barChart><c:ser><c:tx><c:strRef><c:strCache><c:pt idx=\"0\">"
         "<c:v>North</c:v></c:pt></c:strCache></c:strRef></c:tx><c:cat><c:strRef><c:strCache>"
         "<c:pt idx=\"1\"><c:v>2024</c:v></c:pt><c:pt idx=\"0\"><c:v>2023</c:v></c:pt>"
         "</c:strCache></c:strRef></c:cat></c:ser></c:barChart><c:valAx><c:title><c:tx><c:v>Euro"
         "</c:v></c:tx></c:title></c:valAx></c:plotArea></c:chart></c:chartSpace>")


def compound(names):
    """A 512-byte-sector compound file: header, one table sector, one directory sector."""
    header = bytearray(512)
    header[0:8] = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"
    struct.pack_into("<HHHH", header, 0x18, 0x3E, 3, 0xFFFE, 9)
    struct.pack_into("<IIII", header, 0x2C, 1, 1, 0, 0x1000)
    struct.pack_into("<III", header, 0x3C, 0xFFFFFFFE, 0, 0xFFFFFFFE)
    struct.pack_into("<I", header, 0x48, 0)
    struct.pack_into("<109I", header, 0x4C, 0, *([0xFFFFFFFF] * 108))
    fat = struct.pack("<128I", 0xFFFFFFFD, 0xFFFFFFFE, *([0xFFFFFFFF] * 126))
    directory = bytearray(512)
    for i, name in enumerate(["Root Entry"] + names):
        encoded = name.encode("utf-16-le")
        directory[128 * i:128 * i + len(encoded)] = encoded
        struct.pack_into("<HB", directory, 128 * i + 64, len(encoded) + 2, 5 if i == 0 else 2)
    return bytes(header) + fat + bytes(directory)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


write("corpus/ooxmlPackage_fuzz", "deck.pptx", package())
write("corpus/ooxmlPackage_fuzz", "macros.pptm", package(macros=True))
write("corpus/ooxmlPackage_fuzz", "encrypted.pptx",
      compound(["EncryptionInfo", "EncryptedPackage"]))
write("corpus/ooxmlPackage_fuzz", "binary.ppt", compound(["Current User", "PowerPoint Document"]))
for i, xml in enumerate(SLIDES):
    write("corpus/ooxmlSlides_fuzz", f"slide{i + 1}.xml", xml)
write("corpus/ooxmlSlides_fuzz", "data1.xml", DATA)
write("corpus/ooxmlSlides_fuzz", "chart1.xml", CHART)
write("corpus/zipSalvage_fuzz", "no-directory.pptx", without_directory(package()))
write("corpus/zipSalvage_fuzz", "descriptors.pptx", package(streamed=True))
write("corpus/zipSalvage_fuzz", "descriptors-no-directory.pptx",
      without_directory(package(streamed=True)))
