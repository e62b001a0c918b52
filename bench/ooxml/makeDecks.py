#!/usr/bin/env python3
"""Generates the benchmark's presentations, deterministically (same seed, same bytes).

    makeDecks.py <folder> <count>

writes <folder>/deck-NNN.pptx (count decks of 5 to 40 slides: titles, bullets at several
levels, text boxes, groups, tables, a few small pictures) and the pair
<folder>/pictures-50mb.pptx and <folder>/pictures-none.pptx: the same 20 slides with and without
50 MB of pictures (random bytes, stored, as JPEG data does not compress either).
"""
import os
import random
import sys
import zipfile

P = "http://schemas.openxmlformats.org/presentationml/2006/main"
A = "http://schemas.openxmlformats.org/drawingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "http://schemas.openxmlformats.org/package/2006/content-types"

WORDS = ("quarterly revenue growth market share customer retention pipeline forecast margin "
         "strategy roadmap milestone budget headcount hiring product launch feedback survey "
         "region europe asia americas partner channel pricing discount renewal churn risk "
         "mitigation compliance audit security platform migration cloud latency throughput "
         "résumé naïve café Zürich Ελλάδα 東京 данные").split()


def sentence(rng, low=3, high=12):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(low, high))).capitalize()


def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def para(text, level=0):
    return (f'<a:p><a:pPr lvl="{level}"/><a:r><a:rPr lang="en-US" dirty="0"/>'
            f"<a:t>{esc(text)}</a:t></a:r></a:p>")


def shape(shape_id, placeholder, paragraphs):
    ph = f'<p:ph type="{placeholder}"/>' if placeholder else ""
    box = "" if placeholder else ' txBox="1"'
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{shape_id}" name="Shape {shape_id}"/>'
            f"<p:cNvSpPr{box}/><p:nvPr>{ph}</p:nvPr></p:nvSpPr><p:spPr><a:xfrm>"
            '<a:off x="838200" y="1825625"/><a:ext cx="10515600" cy="4351338"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr><p:txBody><a:bodyPr/>'
            f"<a:lstStyle/>{paragraphs}</p:txBody></p:sp>")


def table(rng, shape_id):
    rows = []
    columns = rng.randint(2, 5)
    for _ in range(rng.randint(2, 8)):
        cells = "".join(f"<a:tc><a:txBody><a:bodyPr/><a:lstStyle/>{para(sentence(rng, 1, 3))}"
                        "</a:txBody><a:tcPr/></a:tc>" for _ in range(columns))
        rows.append(f'<a:tr h="370840">{cells}</a:tr>')
    grid = "".join('<a:gridCol w="2000000"/>' for _ in range(columns))
    return (f'<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="{shape_id}" name="Table"/>'
            '<p:cNvGraphicFramePr><a:graphicFrameLocks noGrp="1"/></p:cNvGraphicFramePr><p:nvPr/>'
            '</p:nvGraphicFramePr><p:xfrm><a:off x="0" y="0"/><a:ext cx="8000000" cy="3000000"/>'
            '</p:xfrm><a:graphic><a:graphicData '
            'uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl><a:tblPr/>'
            f"<a:tblGrid>{grid}</a:tblGrid>{''.join(rows)}</a:tbl></a:graphicData></a:graphic>"
            "</p:graphicFrame>")


def picture(shape_id, rel_id):
    return (f'<p:pic><p:nvPicPr><p:cNvPr id="{shape_id}" name="Picture"/><p:cNvPicPr/><p:nvPr/>'
            f'</p:nvPicPr><p:blipFill><a:blip r:embed="{rel_id}"/><a:stretch><a:fillRect/>'
            '</a:stretch></p:blipFill><p:spPr><a:xfrm><a:off x="0" y="0"/>'
            '<a:ext cx="1000000" cy="1000000"/></a:xfrm><a:prstGeom prst="rect"/></p:spPr></p:pic>')


def slide_xml(rng, picture_rel):
    shapes = [shape(2, "title", para(sentence(rng, 2, 6)))]
    bullets = "".join(para(sentence(rng), rng.choice([0, 0, 1, 1, 2]))
                      for _ in range(rng.randint(2, 8)))
    shapes.append(shape(3, "body", bullets))
    kind = rng.random()
    if kind < 0.25:
        shapes.append(table(rng, 4))
    elif kind < 0.45:
        inner = shape(6, "", para(sentence(rng))) + shape(7, "", para(sentence(rng)))
        shapes.append('<p:grpSp><p:nvGrpSpPr><p:cNvPr id="5" name="Group"/><p:cNvGrpSpPr/>'
                      f"<p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>{inner}</p:grpSp>")
    elif kind < 0.6:
        shapes.append(shape(8, "", para(sentence(rng))))
    if picture_rel:
        shapes.append(picture(9, picture_rel))
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<p:sld xmlns:a="{A}" '
            f'xmlns:r="{R}" xmlns:p="{P}"><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/>'
            '<p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>'
            f"{''.join(shapes)}</p:spTree></p:cSld></p:sld>")


def rels(items):
    body = "".join(f'<Relationship Id="{i}" Type="{t}" Target="{target}"/>'
                   for i, t, target in items)
    return f'<?xml version="1.0" encoding="UTF-8"?>\n<Relationships xmlns="{RELS}">{body}</Relationships>'


def write_deck(path, rng, slide_count, pictures):
    """pictures: list of (slide index, bytes)."""
    by_slide = dict(pictures)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        overrides = "".join(
            f'<Override PartName="/ppt/slides/slide{i + 1}.xml" ContentType="application/'
            'vnd.openxmlformats-officedocument.presentationml.slide+xml"/>'
            for i in range(slide_count))
        z.writestr("[Content_Types].xml",
                   f'<?xml version="1.0" encoding="UTF-8"?>\n<Types xmlns="{CT}">'
                   '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
                   'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
                   '<Default Extension="jpeg" ContentType="image/jpeg"/>'
                   '<Override PartName="/ppt/presentation.xml" ContentType="application/vnd.'
                   'openxmlformats-officedocument.presentationml.presentation.main+xml"/>'
                   f"{overrides}</Types>")
        z.writestr("_rels/.rels", rels([("rId1", R + "/officeDocument", "ppt/presentation.xml")]))
        ids = "".join(f'<p:sldId id="{256 + i}" r:id="rId{10 + i}"/>' for i in range(slide_count))
        z.writestr("ppt/presentation.xml",
                   f'<?xml version="1.0" encoding="UTF-8"?>\n<p:presentation xmlns:a="{A}" '
                   f'xmlns:r="{R}" xmlns:p="{P}"><p:sldIdLst>{ids}</p:sldIdLst>'
                   '<p:sldSz cx="12192000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/>'
                   "</p:presentation>")
        z.writestr("ppt/_rels/presentation.xml.rels",
                   rels([(f"rId{10 + i}", R + "/slide", f"slides/slide{i + 1}.xml")
                         for i in range(slide_count)]))
        for i in range(slide_count):
            picture_rel = "rId2" if i in by_slide else None
            z.writestr(f"ppt/slides/slide{i + 1}.xml", slide_xml(rng, picture_rel))
            items = []
            if picture_rel:
                items.append(("rId2", R + "/image", f"../media/image{i + 1}.jpeg"))
                z.writestr(f"ppt/media/image{i + 1}.jpeg", by_slide[i],
                           compress_type=zipfile.ZIP_STORED)
            z.writestr(f"ppt/slides/_rels/slide{i + 1}.xml.rels", rels(items))


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    for n in range(count):
        rng = random.Random(n)
        slides = rng.randint(5, 40)
        pictures = [(i, rng.randbytes(rng.randint(20_000, 200_000)))
                    for i in range(slides) if rng.random() < 0.1]
        write_deck(os.path.join(folder, f"deck-{n:03}.pptx"), rng, slides, pictures)
    big = random.Random(1000)
    pictures = [(i, big.randbytes(5 * 1024 * 1024)) for i in range(10)]
    write_deck(os.path.join(folder, "pictures-50mb.pptx"), random.Random(7), 20, pictures)
    # Same seed for the slides: the same text, with the picture shapes but no picture parts.
    write_deck(os.path.join(folder, "pictures-none.pptx"), random.Random(7), 20, [])


if __name__ == "__main__":
    main()
