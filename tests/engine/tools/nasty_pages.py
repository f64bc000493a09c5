#!/usr/bin/env python3
"""Seeded generator of hostile HTML pages full of tables.

The same seed always gives the same pages, byte for byte. Each page mixes
table structure (implied and misnested parts, foster parenting, nested
tables), cell content (inline and block markup, white space, character
references, scripts, control characters), CSS in a sheet and in style
attributes, and is written in one of several encodings.

    python3 nasty_pages.py --seed 7 --count 200 OUT_DIR

writes OUT_DIR/p0000.html ... and OUT_DIR/manifest.json (the encoding of each
page, which the cell-difference finder needs to minimise a page).
Standard library only.
"""
import argparse
import json
import os
import random

WORDS = [
    'alpha', 'Beta', 'gamma', 'i', 'istanbul', 'Iİıi', 'straße', 'ǆemal', 'ĳssel',
    'ΣΊΣΥΦΟΣ', 'όσος', 'ﬁne', 'ŉ', 'kana', 'ゃゅょ', 'ｶﾀｶﾅ', 'abc123', "o'neil",
    'x-y', 'foo.bar', 'año', 'ÉCOLE', 'İ', 'ı', 'Ǉ', 'ǈ', 'ß', 'ﬀ', 'ǰ', 'Ὰ', 'ᾳ',
    'ʼn', '漢字', 'Ünïcødé', 'élan', 'e\u0301', 'a\u0307', '12.5', '3rd', 'q&a',
]
ENTITIES = [
    '&amp;', '&lt;', '&gt;', '&nbsp;', '&eacute;', '&shy;', '&#x1F600;', '&#160;', '&copy',
    '&notin;', '&#x200B;', '&zwj;', '&#9;', '&#10;', '&#13;', '&#12;', '&#11;', '&#x0;',
    '&#128;', '&ensp;', '&thinsp;', '&#x3000;', '&quot;', '&apos;', '&NotAnEntity;',
]
SPACES = [' ', '  ', '\t', '\n', ' \n ', '\r\n', '\u00a0', '\u3000', '\u2003', '\v', '\f',
          '\x01', '\x1f', '\u200b', '\ufeff', '\r']
LANGS = ['tr', 'az', 'lt', 'el', 'nl', 'en', 'de', 'ja', 'TR', 'tr-TR', 'el-GR', 'lt-LT', 'x']
CLASSES = ['c1', 'c2', 'c3', 'k', 'z9', '1x', 'a:b', 'q.r', 'hid', 'up', 'blk', 'pre']
INLINE_TAGS = ['span', 'b', 'i', 'em', 'a', 'code', 'small', 'sub', 'sup', 'abbr', 'mark', 's',
               'u', 'font', 'nobr', 'bdi', 'bdo', 'label', 'time', 'kbd', 'q', 'cite', 'dfn',
               'var', 'big', 'tt', 'strike', 'ins', 'del', 'data', 'output', 'slot', 'x-el',
               'applet', 'blink', 'marquee', 'acronym', 'wbr', 'span', 'span', 'b']
BLOCK_TAGS = ['div', 'p', 'h1', 'h3', 'blockquote', 'section', 'center', 'address', 'article',
              'figure', 'figcaption', 'header', 'nav', 'main', 'aside', 'hgroup', 'search',
              'listing', 'xmp', 'pre', 'dialog', 'legend', 'div', 'div', 'p']
DISPLAYS = ['block', 'inline', 'inline-block', 'list-item', 'none', 'contents', 'table-cell',
            'table-row', 'table', 'flex', 'grid', 'inline-flex', 'ruby', 'ruby-text', 'flow-root',
            'table-caption', 'inline-table', 'run-in', 'table-row-group', 'table-column',
            'block ruby', 'inline list-item', 'block flow', 'math', 'inherit', 'unset',
            'initial', 'revert', 'bogus', 'inline-grid']
WHITE_SPACES = ['normal', 'pre', 'nowrap', 'pre-wrap', 'pre-line', 'break-spaces', 'preserve',
                'preserve nowrap', 'collapse wrap', 'pre-wrap nowrap', 'preserve-breaks',
                'break-spaces wrap', 'inherit', 'bogus', 'wrap', 'collapse']
WS_COLLAPSE = ['collapse', 'preserve', 'preserve-breaks', 'break-spaces', 'preserve-spaces',
               'discard', 'inherit']
TRANSFORMS = ['uppercase', 'lowercase', 'capitalize', 'none', 'full-width', 'full-size-kana',
              'capitalize full-width', 'full-width uppercase', 'inherit', 'math-auto', 'bogus']
MEDIA = ['screen', 'print', 'all', '(min-width: 600px)', '(max-width: 600px)',
         '(min-width: 80em)', '(min-resolution: 2dppx)', '(max-resolution: 1dppx)',
         '(min-resolution: 96dpi)', '(orientation: landscape)', '(orientation: portrait)',
         '(prefers-color-scheme: dark)', '(hover: hover)', '(pointer: coarse)',
         '(min-height: 900px)', '(max-height: 900px)', '(width >= 1000px)',
         '(400px <= width <= 700px)', 'not print', 'only screen and (min-width: 1px)',
         'screen and (max-width: 1279px)', '(aspect-ratio: 16/10)', '(color)',
         '(monochrome)', '(-webkit-min-device-pixel-ratio: 2)', '(prefers-reduced-motion)',
         '(min-aspect-ratio: 2/1)', 'speech', 'tv', '(grid)', '(scan: interlace)',
         '(update: fast)', '(forced-colors: active)', '(display-mode: browser)']
PSEUDOS = [':first-child', ':last-child', ':nth-child(2)', ':nth-child(odd)',
           ':nth-last-child(1)', ':nth-last-child(2n)', ':nth-of-type(2)', ':nth-of-type(even)',
           ':nth-last-of-type(1)', ':first-of-type', ':last-of-type', ':only-child',
           ':not(.c1)', ':empty', ':is(b, i)', ':where(.c2)', ':has(b)', ':hover', '::before',
           ':root', ':lang(tr)', ':only-of-type']


class Page:
    def __init__(self, rng):
        self.r = rng
        self.depth = 0
        self.ids = 0

    def chance(self, p):
        return self.r.random() < p

    def pick(self, seq):
        return self.r.choice(seq)

    # -- CSS ---------------------------------------------------------------
    def declaration(self):
        r = self.r
        kind = r.randrange(12)
        if kind < 3:
            decl = 'display:' + self.pick(DISPLAYS)
        elif kind == 3:
            decl = 'white-space:' + self.pick(WHITE_SPACES)
        elif kind == 4:
            decl = self.pick(['white-space-collapse:' + self.pick(WS_COLLAPSE),
                              'text-wrap-mode:' + self.pick(['wrap', 'nowrap']),
                              'text-wrap:' + self.pick(['nowrap', 'balance', 'wrap'])])
        elif kind in (5, 6):
            decl = 'text-transform:' + self.pick(TRANSFORMS)
        elif kind == 7:
            decl = 'visibility:' + self.pick(['hidden', 'visible', 'collapse'])
        elif kind == 8:
            decl = 'float:' + self.pick(['left', 'right', 'none', 'inline-start'])
        elif kind == 9:
            decl = 'position:' + self.pick(['absolute', 'fixed', 'relative', 'sticky'])
        elif kind == 10:
            decl = self.pick(['content-visibility:hidden', 'content-visibility:auto',
                              'text-indent:2em', 'font-variant:small-caps',
                              'list-style:none', 'content:"x"', 'opacity:0',
                              'width:0', 'overflow:hidden', 'font-size:0'])
        else:
            decl = self.pick(['display:none', 'display:block', 'display:inline'])
        if self.chance(0.1):
            decl += ' !important'
        return decl

    def style_attr(self):
        return '; '.join(self.declaration() for _ in range(self.r.randint(1, 2)))

    def simple_selector(self):
        r = self.r
        kind = r.randrange(8)
        if kind == 0:
            sel = self.pick(['span', 'b', 'i', 'div', 'p', 'td', 'th', 'br', 'li', 'tr', 'img',
                             'select', 'option', 'ruby', 'rt', 'svg', 'details', 'summary'])
        elif kind == 1:
            name = self.pick(CLASSES)
            sel = '.' + self.css_escape(name)
        elif kind == 2:
            sel = '#i%d' % r.randrange(6)
        elif kind == 3:
            sel = self.pick(['[lang]', '[lang|=tr]', '[data-x]', '[data-x="1"]', '[hidden]',
                             '[class~=k]', '[title^=a]'])
        else:
            sel = self.pick(['span', 'b', 'td', 'div', 'p', 'i', '*']) + self.pick(PSEUDOS)
        return sel

    def css_escape(self, name):
        out = ''
        for k, ch in enumerate(name):
            if k == 0 and ch.isdigit():
                out += '\\3%s ' % ch
            elif ch in ':.':
                out += '\\' + ch
            elif self.chance(0.1):
                out += '\\%x ' % ord(ch)
            else:
                out += ch
        return out

    def selector(self):
        parts = [self.simple_selector()]
        for _ in range(self.r.choice([0, 0, 1, 1, 2])):
            parts.append(self.pick([' ', ' > ', ' + ', ' ~ ']))
            parts.append(self.simple_selector())
        return ''.join(parts)

    def sheet(self):
        rules = []
        for _ in range(self.r.randint(1, 8)):
            rule = '%s { %s }' % (', '.join(self.selector() for _ in range(self.r.randint(1, 2))),
                                  '; '.join(self.declaration()
                                            for _ in range(self.r.randint(1, 3))))
            if self.chance(0.2):
                rule = '@media %s { %s }' % (self.pick(MEDIA), rule)
            elif self.chance(0.05):
                rule = '@supports (display:grid) { %s }' % rule
            elif self.chance(0.03):
                rule = '/* %s */' % rule
            rules.append(rule)
        return '\n'.join(rules)

    # -- attributes ----------------------------------------------------------
    def attrs(self):
        out = []
        if self.chance(0.3):
            out.append('class="%s"' % ' '.join(self.r.sample(CLASSES, self.r.randint(1, 2))))
        if self.chance(0.12):
            out.append('style="%s"' % self.style_attr())
        if self.chance(0.08):
            out.append('lang="%s"' % self.pick(LANGS))
        if self.chance(0.04):
            out.append(self.pick(['hidden', 'hidden="until-found"', 'hidden=""',
                                  'hidden="HIDDEN"']))
        if self.chance(0.05):
            out.append('id="i%d"' % self.r.randrange(6))
        if self.chance(0.03):
            out.append(self.pick(['data-x="1"', 'dir="rtl"', 'title="ab"', 'inert']))
        return (' ' + ' '.join(out)) if out else ''

    # -- content -------------------------------------------------------------
    def text(self):
        parts = []
        for _ in range(self.r.randint(1, 4)):
            kind = self.r.randrange(10)
            if kind < 6:
                parts.append(self.pick(WORDS))
            elif kind < 8:
                parts.append(self.pick(SPACES))
            else:
                parts.append(self.pick(ENTITIES))
        return ''.join(parts)

    def special(self):
        r = self.r
        kind = r.randrange(30)
        if kind == 0:
            return '<img alt="%s"%s>' % (self.pick(WORDS), self.attrs())
        if kind == 1:
            return '<input type="%s" value="v"%s>' % (
                self.pick(['text', 'hidden', 'checkbox', 'submit', 'button', 'image']),
                self.attrs())
        if kind == 2:
            return '<button%s>%s</button>' % (self.attrs(), self.text())
        if kind == 3:
            opts = ''.join('<option%s>%s</option>' % (self.attrs(), self.text())
                           for _ in range(r.randint(0, 3)))
            if self.chance(0.4):
                opts = '<optgroup label="g">%s</optgroup>' % opts
            if self.chance(0.5):
                opts = self.text() + opts + self.text()
            return '<select%s>%s</select>' % (self.attrs(), opts)
        if kind == 4:
            return '<textarea%s>%s</textarea>' % (self.attrs(), self.text())
        if kind == 5:
            return '<details%s>%s%s</details>' % (
                self.pick(['', ' open']),
                self.pick(['', '<summary%s>%s</summary>' % (self.attrs(), self.text())]),
                self.content())
        if kind == 6:
            return self.pick(['<svg></svg>', '<svg width="0" height="0"></svg>',
                              '<svg><text>%s</text></svg>' % self.text(),
                              '<svg><title>t</title><desc>d</desc></svg>',
                              '<math><mi>x</mi><mo>+</mo><mn>1</mn></math>',
                              '<math><mtext>%s</mtext></math>' % self.text()])
        if kind == 7:
            return self.pick(['<script>var a = "%s";</script>' % self.text(),
                              '<style>.none{}</style>', '<noscript>%s</noscript>' % self.text(),
                              '<template>%s</template>' % self.text(),
                              '<!-- %s -->' % self.text(), '<![CDATA[x]]>'])
        if kind == 8:
            return '<div%s><template shadowrootmode="%s">%s%s</template>%s</div>' % (
                self.attrs(), self.pick(['open', 'closed', 'bogus']),
                self.pick(['', '<slot></slot>', '<span>s</span>']), self.text(), self.content())
        if kind == 9:
            return '<ruby%s>%s<rp>(</rp><rt>%s</rt><rp>)</rp></ruby>' % (
                self.attrs(), self.text(), self.text())
        if kind == 10:
            items = ''.join('<li%s>%s</li>' % (self.attrs(), self.content())
                            for _ in range(r.randint(1, 3)))
            return '<%s%s>%s</%s>' % (self.pick(['ul', 'ol', 'menu']), self.attrs(), items,
                                      'ul')
        if kind == 11:
            return '<dl><dt>%s</dt><dd>%s</dd></dl>' % (self.text(), self.content())
        if kind == 12:
            return self.pick(['<br>', '<br%s>' % self.attrs(), '</br>', '<br/>',
                              '<br style="display:block">', '<br style="display:none">'])
        if kind == 13:
            return self.pick(['<hr>', '<wbr>', '<iframe>%s</iframe>' % self.text(),
                              '<object>%s</object>' % self.text(), '<video>%s</video>' % self.text(),
                              '<audio controls>x</audio>', '<canvas>%s</canvas>' % self.text(),
                              '<meter value="1">m</meter>', '<progress>p</progress>',
                              '<embed>', '<picture><img alt="pic"></picture>'])
        if kind == 14:
            return '<fieldset%s><legend>%s</legend>%s</fieldset>' % (self.attrs(), self.text(),
                                                                      self.content())
        if kind == 15 and self.depth < 3:
            return self.table(nested=True)
        if kind == 16:
            return '<span style="float:%s">%s</span>' % (self.pick(['left', 'right']),
                                                         self.text())
        if kind == 17:
            return '<%s%s>%s</%s>' % ('pre', self.attrs(), self.text() + '\n' + self.text(),
                                      'pre')
        if kind == 18:
            return '<dialog%s>%s</dialog>' % (self.pick(['', ' open']), self.text())
        if kind == 19:
            return self.pick(['<p>%s' % self.text(), '</p>', '<p>', '</div>', '<b><i>x</b>y</i>',
                              '<a href="#">a<a>b</a>', '<form>%s</form>' % self.text(),
                              '<plaintext>' if self.chance(0.02) else '<nobr>n</nobr>'])
        return None

    def content(self):
        self.depth += 1
        parts = []
        for _ in range(self.r.randint(1, 4 if self.depth < 3 else 2)):
            kind = self.r.randrange(10)
            if kind < 4 or self.depth > 4:
                parts.append(self.text())
            elif kind < 6:
                tag = self.pick(INLINE_TAGS)
                if tag == 'wbr':
                    parts.append('<wbr>')
                else:
                    parts.append('<%s%s>%s</%s>' % (tag, self.attrs(), self.content(), tag))
            elif kind < 8:
                tag = self.pick(BLOCK_TAGS)
                parts.append('<%s%s>%s</%s>' % (tag, self.attrs(), self.content(), tag))
            else:
                parts.append(self.special() or self.text())
        self.depth -= 1
        return ''.join(parts)

    def cell(self):
        tag = 'th' if self.chance(0.15) else 'td'
        extra = ' nowrap' if self.chance(0.03) else ''
        close = '' if self.chance(0.2) else '</%s>' % tag
        return '<%s%s%s>%s%s' % (tag, self.attrs(), extra, self.content(), close)

    def row(self):
        cells = ''.join(self.cell() + self.pick(['', '', '\n', ' ', '\n  '])
                        for _ in range(self.r.randint(1, 4)))
        if self.chance(0.1):
            return cells  # cells without a row: the parser makes one
        close = '' if self.chance(0.3) else '</tr>'
        return '<tr%s>%s%s\n' % (self.attrs(), cells, close)

    def table(self, nested=False):
        self.depth += 1
        parts = ['<table%s>' % self.attrs()]
        if self.chance(0.15):
            parts.append('<caption>%s</caption>' % self.text())
        if self.chance(0.1):
            parts.append('<colgroup><col><col></colgroup>')
        if self.chance(0.15):
            parts.append(self.text())  # foster parented before the table
        if self.chance(0.08):
            parts.append('<div>%s</div>' % self.text())  # foster parented too
        sections = self.r.randint(1, 3)
        for _ in range(sections):
            rows = ''.join(self.row() for _ in range(self.r.randint(1, 3)))
            kind = self.r.randrange(5)
            if kind == 0:
                parts.append('<thead%s>%s</thead>' % (self.attrs(), rows))
            elif kind == 1:
                parts.append('<tfoot>%s</tfoot>' % rows)
            elif kind == 2:
                parts.append('<tbody%s>%s' % (self.attrs(), rows))
            else:
                parts.append(rows)
            if self.chance(0.05):
                parts.append('</td></tr><form><input value="f"></form>')
        if self.chance(0.7):
            parts.append('</table>')
        self.depth -= 1
        return '\n'.join(parts)


ENCODINGS = [
    # (label in <meta>, Python codec, byte-order mark)
    ('utf-8', 'utf-8', b''), ('utf-8', 'utf-8', b''), ('utf-8', 'utf-8', b''),
    (None, 'utf-8', b''), (None, 'utf-8', b'\xef\xbb\xbf'),
    ('windows-1252', 'cp1252', b''), ('iso-8859-1', 'cp1252', b''),
    ('iso-8859-2', 'iso8859-2', b''), ('shift_jis', 'shift_jis', b''),
    ('koi8-r', 'koi8-r', b''), ('gbk', 'gbk', b''), (None, 'utf-16-le', b'\xff\xfe'),
    ('euc-kr', 'euc-kr', b''), ('windows-1251', 'cp1251', b''),
]


def make_page(seed, index):
    rng = random.Random('%s/%d' % (seed, index))
    page = Page(rng)
    label, codec, bom = rng.choice(ENCODINGS)
    head = []
    if rng.random() < 0.85:
        head.append('<!DOCTYPE html>')
    if label is not None:
        head.append(rng.choice(['<meta charset="%s">', '<meta http-equiv="Content-Type" '
                                'content="text/html; charset=%s">']) % label)
    if rng.random() < 0.75:
        head.append('<style>\n%s\n</style>' % page.sheet())
    body = []
    for _ in range(rng.randint(1, 3)):
        if rng.random() < 0.3:
            body.append(page.content())
        body.append(page.table())
    html = '\n'.join(head) + '\n<body%s>\n' % page.attrs() + '\n'.join(body) + '\n'
    return html, codec, bom


def encode(text, codec, bom):
    return bom + text.encode(codec, errors='xmlcharrefreplace')


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--seed', default='1')
    parser.add_argument('--count', type=int, default=100)
    parser.add_argument('out')
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    manifest = {}
    for i in range(args.count):
        html, codec, bom = make_page(args.seed, i)
        name = 'p%04d.html' % i
        with open(os.path.join(args.out, name), 'wb') as f:
            f.write(encode(html, codec, bom))
        manifest[name] = {'codec': codec, 'bom': bom.hex()}
    with open(os.path.join(args.out, 'manifest.json'), 'w', encoding='utf-8') as f:
        json.dump(manifest, f, indent=0, sort_keys=True)


if __name__ == '__main__':
    main()
