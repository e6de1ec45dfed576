#!/usr/bin/python3
"""Renders the user manual (Markdown) into "User Manual.pdf".

    render-manual.py SOURCE.md OUTPUT.pdf [--css FILE] [--version TEXT]

Images are found relative to the Markdown file. A screenshot that does not
exist (yet) is left out with a note on standard error, so the manual always
builds; an image alone in its paragraph becomes a figure whose caption is
its alternative text.
"""
import argparse
import os
import sys
import xml.etree.ElementTree as etree

import markdown
from markdown.treeprocessors import Treeprocessor
from markdown.extensions import Extension


class Figures(Treeprocessor):
    def __init__(self, md, folder, missing):
        super().__init__(md)
        self.folder = folder
        self.missing = missing

    def run(self, root):
        parents = {child: parent for parent in root.iter() for child in parent}
        for img in list(root.iter("img")):
            src = img.get("src", "")
            path = os.path.normpath(os.path.join(self.folder, src))
            parent = parents[img]
            if not os.path.isfile(path):
                self.missing.append(src)
                # Inside a sentence or a table cell the words stay.
                alone = parent.tag == "p" and len(parent) == 1 \
                    and not (parent.text or "").strip() and not (img.tail or "").strip()
                tail = ("" if alone else img.get("alt", "")) + (img.tail or "")
                index = list(parent).index(img)
                parent.remove(img)
                if tail:  # keep the text that followed the image
                    if index > 0:
                        prev = parent[index - 1]
                        prev.tail = (prev.tail or "") + tail
                    else:
                        parent.text = (parent.text or "") + tail
                if parent.tag == "p" and len(parent) == 0 and not (parent.text or "").strip():
                    parents[parent].remove(parent)
                continue
            img.set("src", "file://" + os.path.abspath(path))
            if parent.tag == "p" and len(parent) == 1 and not (parent.text or "").strip() \
                    and not (img.tail or "").strip():
                parent.tag = "figure"
                caption = etree.SubElement(parent, "figcaption")
                caption.text = img.get("alt", "")
        return None


class FigureExtension(Extension):
    def __init__(self, folder, missing):
        super().__init__()
        self.folder = folder
        self.missing = missing

    def extendMarkdown(self, md):
        # After inline images exist, before the tree is serialised.
        md.treeprocessors.register(Figures(md, self.folder, self.missing), "tamsel_figures", 5)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--css")
    parser.add_argument("--version", default="")
    args = parser.parse_args()

    with open(args.source, encoding="utf-8") as f:
        text = f.read()
    folder = os.path.dirname(os.path.abspath(args.source))
    missing = []
    md = markdown.Markdown(extensions=[
        "tables", "attr_list",
        "toc", FigureExtension(folder, missing)],
        extension_configs={"toc": {"toc_depth": "2-2", "title": "Contents"}})
    body = md.convert(text)

    title = "Tamsel user manual"
    version = f'<p class="version">Version {args.version}</p>' if args.version else ""
    html = (f'<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">'
            f'<title>{title}</title></head><body>'
            f'<div class="cover"><h1 class="cover-title">Tamsel</h1>'
            f'<p class="cover-sub">User manual</p>{version}</div>{body}</body></html>')

    # Imported late: a missing weasyprint should fail here, after the
    # Markdown was read, with the reason.
    from weasyprint import CSS, HTML
    stylesheets = [CSS(filename=args.css)] if args.css else []
    tmp = args.output + ".tmp"
    HTML(string=html, base_url=folder).write_pdf(tmp, stylesheets=stylesheets)
    os.replace(tmp, args.output)
    for src in missing:
        print(f"manual: {src} not found, left out", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
