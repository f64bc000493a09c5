// Style-sheet case definitions for make_cell_text_cases.js:
//
//   node make_cell_text_cases.js --src style_sheet_cases.src.js --out ../style_sheet_cases.inc
//
// Same format as cell_text_cases.src.js: each group is { group, comment, cases:
// [[name, body], ...] }, each name starts with "<group>_", and the body is appended
// to '<!doctype html><meta charset="utf-8">'. The subject is rows[0].cells[0] of the
// first table that has rows. Every body holds a <style> element and/or style
// attributes; the rules are written so that whether they apply shows in the text
// (an element hidden, made a block, upper-cased, or its spaces kept).
'use strict';

// One-cell table around `inner`.
const td = (inner) => `<table><tr><td>${inner}</td></tr></table>`;
// A <style> element with `css`, then a one-cell table around `inner`.
const css = (sheet, inner) => `<style>${sheet}</style>` + td(inner);
// `count` pieces of markup, piece(i) for i from 0.
const many = (count, piece) => Array.from({ length: count }, (_, i) => piece(i)).join('');
// Three marked spans: "a", then x, y, z in spans, then "b".
const xyz = (attrs) => `a<span ${attrs[0]}>x</span><span ${attrs[1]}>y</span><span ${attrs[2]}>z</span>b`;

module.exports = [
  {
    group: 'sel',
    comment: 'simple selectors: type, class, id, attribute, universal, lists',
    cases: [
      ['sel_type', css('em{text-transform:uppercase}', 'a<em>x</em><i>y</i>b')],
      ['sel_type_upper_case_in_sheet', css('EM{display:none}', 'a<em>x</em>b')],
      ['sel_class', css('.h{display:none}', xyz(['class="h"', 'class="k"', 'class="h k"']))],
      ['sel_class_case_sensitive', css('.H{display:none}', 'a<span class="h">x</span>b')],
      ['sel_class_other_white_space', css('.h{display:none}', xyz(['class="k\th"', 'class="k\nh"', 'class="kh"']))],
      ['sel_id', css('#k{display:none}', xyz(['id="k"', 'id="kk"', 'id="j"']))],
      ['sel_attr_present', css('[data-h]{display:none}', xyz(['data-h', 'data-h=""', 'data-k']))],
      ['sel_attr_equals', css('[data-h=yes]{display:none}', xyz(['data-h="yes"', 'data-h="yes "', 'data-h="no"']))],
      ['sel_attr_word', css('[data-h~=b]{display:none}', xyz(['data-h="a b c"', 'data-h="ab"', 'data-h="b"']))],
      ['sel_attr_word_other_white_space', css('[data-h~=b]{display:none}', xyz(['data-h="a\tb"', 'data-h="(a b)"', 'data-h="a\nb c"']))],
      ['sel_attr_dash', css('[lang|=en]{display:none}', xyz(['lang="en-US"', 'lang="en"', 'lang="english"']))],
      ['sel_attr_prefix', css('[data-h^=ab]{display:none}', xyz(['data-h="abc"', 'data-h="cab"', 'data-h="ab"']))],
      ['sel_attr_substring', css('[data-h*=mid]{display:none}', xyz(['data-h="amidb"', 'data-h="mi d"', 'data-h="mid"']))],
      ['sel_attr_name_case_insensitive', css('[DATA-H]{display:none}', 'a<span data-h="1">x</span>b')],
      ['sel_attr_value_i_flag', css('[data-h=YES i]{display:none}', 'a<span data-h="yes">x</span>b')],
      ['sel_universal', css('td *{text-transform:uppercase}', 'a<span>x</span><b>y</b>b')],
      ['sel_list', css('.p, #q , em{display:none}', 'a<span class="p">x</span><span id="q">y</span><em>z</em>b')],
      ['sel_unknown_pseudo_element_drops_list', css('::e, b{display:block} b::before.x, i{display:block} b::-webkit-foo, u{display:block} div::before ~ s, em{display:block}', 'a<b>x</b>c<i>y</i>d<u>z</u>e<em>v</em>f')],
      ['sel_is_forgives_what_it_cannot_read', css(':is()[g], b{display:block} :is(::e, i){display:block}', 'a<b>x</b>c<i>y</i>d')],
      ['sel_attribute_values_without_case', css('[lang|=tr]{display:block} [type=tr]{display:block} [class=tr]{display:block} [class=tr i]{text-transform:uppercase} [dir="rtl" s]{display:block}', 'a<b lang="TR">x</b>c<i type="TR">y</i>d<u class="TR">z</u>e<s dir="RTL">w</s>f')],
      ['sel_list_with_invalid_member', css('.p, .q:bogus-state{display:none}', 'a<span class="p">x</span>b')],
    ],
  },
  {
    group: 'comb',
    comment: 'combinators: descendant, child, next sibling, later sibling',
    cases: [
      ['comb_descendant', css('div span{display:none}', 'a<div><b><span>x</span></b></div>b')],
      ['comb_descendant_no_ancestor', css('p span{display:none}', 'a<div><span>x</span></div>b')],
      ['comb_child', css('div > span{display:none}', 'a<div><span>x</span><b><span>y</span></b></div>b')],
      ['comb_child_of_cell', css('td > .h{display:none}', 'a<span class="h">x</span><b><span class="h">y</span></b>b')],
      ['comb_implied_tbody', css('table > tr > td{text-transform:uppercase} table > tbody > tr > td em{display:none}', 'a<em>x</em>b')],
      ['comb_next_sibling', css('.m + span{display:none}', xyz(['class="m"', '', '']))],
      ['comb_later_siblings', css('.m ~ span{display:none}', xyz(['', 'class="m"', '']) + '<span>w</span>')],
      ['comb_sibling_not_before', css('.m ~ span{display:none}', xyz(['', '', 'class="m"']))],
      ['comb_child_then_sibling', css('div > i + b{display:none}', 'a<div><i>i</i><b>x</b><b>y</b></div>b')],
      // Past a few dozen siblings, what was learnt of the earlier ones is used again.
      ['comb_later_sibling_among_many', css('.m ~ span{text-transform:uppercase} .none ~ span{display:none} .m + span{display:none}', many(40, (i) => `<span${i === 24 ? ' class="m"' : ''}>s${i}</span>`))],
      // Rules that ask for different ancestors, by class, id and tag.
      ['comb_descendant_by_ancestor_keys', css('.k1 em{display:none} .k2 em{text-transform:uppercase} #q .k3 em{display:none} .k4 .k2 em{display:none} div.k5 > em{white-space:pre} .k3 .k1 em{display:block}', 'a<div class="k2 k3"><em>x</em></div><span class="k1"><em>y</em></span><div id="q"><p class="k3"><em>z</em></p></div><div class="k5"><em>v  w</em></div><p class="k2"><span class="k1"><em>u</em></span></p>b')],
    ],
  },
  {
    group: 'pseudo',
    comment: 'pseudo-classes that depend only on the document',
    cases: [
      ['pseudo_root_is_an_only_child', '<style>html:first-child{text-transform:uppercase} html:nth-child(2){display:none}</style><table><tr><td>ab</td></tr></table>'],
      ['pseudo_first_child', css('span:first-child{display:none}', xyz(['', '', '']))],
      ['pseudo_nth_child_odd', css('span:nth-child(odd){display:none}', xyz(['', '', '']) + '<span>w</span>')],
      ['pseudo_nth_child_formula', css('span:nth-child(3n+2){display:none}', xyz(['', '', '']) + '<span>w</span><span>v</span>')],
      ['pseudo_nth_of_type', css('b:nth-of-type(2){display:none}', 'a<i>i</i><b>x</b><i>j</i><b>y</b>b')],
      ['pseudo_not', css('span:not(.k){display:none}', xyz(['class="k"', '', 'class="k m"']))],
      ['pseudo_is', css(':is(em, .k) b{display:none}', 'a<em><b>x</b></em><span class="k"><b>y</b></span><i><b>z</b></i>b')],
      ['pseudo_where_adds_no_weight', css(':where(#k){display:none} span{display:inline}', 'a<span id="k">x</span>b')],
      ['pseudo_empty', css('i:empty + span{display:none}', 'a<i></i><span>x</span><i> </i><span>y</span>b')],
      ['pseudo_has', css('td:has(em) span{display:none}', 'a<em>e</em><span>x</span>b')],
      ['pseudo_link', css('a:link{display:none}', 'x<a href="#t">y</a><a>z</a>w')],
      ['pseudo_positions_among_many_siblings', css('i:nth-child(4n+1){text-transform:uppercase} b:nth-last-of-type(2){display:none} :nth-last-child(3){display:none} i:nth-of-type(7){display:none} b:nth-child(-n+4){text-transform:uppercase}', many(40, (i) => i % 2 ? `<b>b${i}</b>` : `<i>i${i}</i>`))],
    ],
  },
  {
    group: 'media',
    comment: '@media rules, judged at a 1280x800 screen',
    cases: [
      ['media_screen', css('@media screen{.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_print', css('@media print{.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_unknown_type', css('@media tv{.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_min_width', css('@media (min-width:600px){.p{display:none}} @media (min-width:1400px){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_min_width_equal_to_viewport', css('@media (min-width:1280px){.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_max_width', css('@media (max-width:1400px){.p{display:none}} @media (max-width:600px){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_width_in_em', css('@media (min-width:70em){.p{display:none}} @media (min-width:90em){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_and_one_false', css('@media screen and (max-width:1000px){.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_not_print', css('@media not print{.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_list_any_true', css('@media print, (min-width:100px){.h{display:none}}', 'a<span class="h">x</span>b')],
      ['media_height', css('@media (min-height:700px){.p{display:none}} @media (min-height:900px){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_orientation', css('@media (orientation:landscape){.p{display:none}} @media (orientation:portrait){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_range_syntax', css('@media (width >= 1000px){.p{display:none}} @media (width < 1000px){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_nested', css('@media screen{@media (min-width:2000px){.p{display:none}} .q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['media_style_attribute_print', '<style media="print">.h{display:none}</style>' + td('a<span class="h">x</span>b')],
    ],
  },
  {
    group: 'cascade',
    comment: 'which declaration wins, and what is inherited',
    cases: [
      ['cascade_id_beats_class', css('#k{display:inline} .h{display:none}', 'a<span id="k" class="h">x</span>b')],
      ['cascade_later_rule_wins', css('.h{display:none} .k{display:inline}', 'a<span class="h k">x</span>b')],
      ['cascade_later_sheet_wins', '<style>.h{display:none}</style><style>.k{display:inline}</style>' + td('a<span class="h k">x</span>b')],
      ['cascade_sheet_after_table', td('a<span class="h">x</span>b') + '<style>.h{display:none}</style>'],
      ['cascade_style_attribute_beats_id', css('#k{display:none}', 'a<span id="k" style="display:inline">x</span>b')],
      ['cascade_sheet_important_beats_style_attribute', css('.h{display:none !important}', 'a<span class="h" style="display:inline">x</span>b')],
      ['cascade_style_attribute_important_wins', css('.h{display:none !important}', 'a<span class="h" style="display:inline !important">x</span>b')],
      ['cascade_important_beats_specificity', css('span{display:none!important} #k.h{display:inline}', 'a<span id="k" class="h">x</span>b')],
      ['cascade_inherited_white_space', css('.w{white-space:pre}', '<div class="w"><span>a   b</span>\n<b> c </b></div>')],
      ['cascade_inherited_text_transform', css('.u{text-transform:uppercase}', '<div class="u">a<span>b<em>c</em></span></div>')],
      ['cascade_display_not_inherited', css('.k{display:block}', 'a<span class="k">x<em>y</em>z</span>b')],
      ['cascade_visibility_inherited_child_visible', css('.v{visibility:hidden} .v em{visibility:visible}', 'a<div class="v">x<em>y</em>z</div>b')],
      ['cascade_inherit_keyword', css('.k{display:block} .k > b{display:inherit}', 'a<span class="k">x<b>y</b>z</span>b')],
      ['cascade_initial_keyword', css('.i{display:initial}', 'a<div class="i">x</div>b')],
      ['cascade_unset_inherited', css('.u{text-transform:uppercase} .u b{text-transform:unset}', '<div class="u">a<b>b</b></div>')],
      ['cascade_layer_loses_to_unlayered', css('.h{display:inline} @layer l{.h{display:none}}', 'a<span class="h">x</span>b')],
    ],
  },
  {
    group: 'prop',
    comment: 'the properties the text depends on, set from a style sheet',
    cases: [
      ['prop_display_none', css('.n{display:none}', 'a<div class="n">x</div>b')],
      ['prop_display_block', css('.k{display:block}', 'a<span class="k">x</span>b')],
      ['prop_display_contents', css('.c{display:contents}', 'a<div class="c">x</div>b')],
      ['prop_display_list_item', css('.l{display:list-item}', 'a<span class="l">x</span>b')],
      ['prop_display_table_cell', css('.c{display:table-cell}', '<span class="c">x</span><span class="c">y</span>')],
      ['prop_visibility_hidden_visible_child', css('.v{visibility:hidden} .s{visibility:visible}', 'a<div class="v">x<span class="s">y</span>z</div>b')],
      ['prop_visibility_collapse_visible_child', css('.v{visibility:collapse} .s{visibility:visible}', 'a<span class="v">x<span class="s">y</span>z</span>b')],
      ['prop_white_space_pre', css('.w{white-space:pre}', '<span class="w">  a  b\nc </span>')],
      ['prop_white_space_pre_wrap', css('.w{white-space:pre-wrap}', '<div class="w">  a  b\nc </div>')],
      ['prop_white_space_pre_line', css('.w{white-space:pre-line}', '<div class="w">  a  b \n  c </div>')],
      ['prop_white_space_collapse_preserve', css('.w{white-space-collapse:preserve}', '<div class="w">a   b</div>')],
      ['prop_text_transform_uppercase', css('.t{text-transform:uppercase}', 'a<span class="t">xy</span>b')],
      ['prop_text_transform_capitalize', css('.t{text-transform:capitalize}', '<span class="t">one two-three</span>')],
      ['prop_text_transform_none_inside', css('.t{text-transform:uppercase} .n{text-transform:none}', '<div class="t">a<span class="n">b</span>c</div>')],
      ['prop_content_visibility_hidden', css('.c{content-visibility:hidden}', 'a<div class="c">x</div>b')],
      ['prop_content_visibility_auto', css('.c{content-visibility:auto}', 'a<div class="c">x</div>b')],
      ['prop_float', css('.f{float:left}', 'a<span class="f">x</span>b')],
      ['prop_display_none_on_cell', '<style>.n{display:none}</style><table><tr><td class="n">a<br>b</td><td>c</td></tr></table>'],
    ],
  },
  {
    group: 'syntax',
    comment: 'style-sheet syntax: comments, errors, at-rules, escapes, case',
    cases: [
      ['syntax_brace_inside_parentheses', css('({}.c{display:block} i{display:block}', 'a<b class="c">x</b>c<i>y</i>d')],
      ['syntax_at_rule_look_alikes', css('@supports{b{display:block}} @mediax{i{display:block}} @layerx{u{display:block}} @media (x:"{"){s{display:block}} em{display:block}', 'a<b>x</b>c<i>y</i>d<u>z</u>e<s>w</s>f<em>v</em>g')],
      ['syntax_comments', css('/* a */.h/* b */{/* c */display/* d */:/* e */none/* f */}/* g', 'a<span class="h">x</span>b')],
      ['syntax_comment_hides_rule', css('/* .h{display:none} */ .k{display:none}', 'a<span class="h">x</span><span class="k">y</span>b')],
      ['syntax_declaration_without_colon', css('.h{display none; text-transform:uppercase}', 'a<span class="h">x</span>b')],
      ['syntax_invalid_value_ignored', css('.h{display:none} .h{display:bogus}', 'a<span class="h">x</span>b')],
      ['syntax_invalid_selector_rule_skipped', css('.h!{display:none} .k{display:none}', 'a<span class="h">x</span><span class="k">y</span>b')],
      ['syntax_stray_brace', css('.h{display:none}} .k{display:none}', 'a<span class="h">x</span><span class="k">y</span>b')],
      ['syntax_unclosed_block_at_end', css('.h{display:none', 'a<span class="h">x</span>b')],
      ['syntax_unknown_at_rule_block', css('@foo bar{.h{display:none}} .k{display:none}', 'a<span class="h">x</span><span class="k">y</span>b')],
      ['syntax_unknown_at_rule_statement', css('@foo bar; .k{display:none}', 'a<span class="k">y</span>b')],
      ['syntax_supports', css('@supports (display:grid){.p{display:none}} @supports (bogus:1){.q{display:none}}', 'a<span class="p">x</span><span class="q">y</span>b')],
      ['syntax_nesting', css('.p{& .h{display:none}}', 'a<span class="p"><span class="h">x</span></span><span class="h">y</span>b')],
      ['syntax_html_comment_markers', css('<!-- .h{display:none} -->', 'a<span class="h">x</span>b')],
      ['syntax_escape_digit_class', css('.\\31 x{display:none}', 'a<span class="1x">x</span>b')],
      ['syntax_escape_in_property', css('.h{displ\\61y:none}', 'a<span class="h">x</span>b')],
      ['syntax_upper_case_property', css('.h{DISPLAY:NONE}', 'a<span class="h">x</span>b')],
      ['syntax_style_type_not_css', '<style type="text/plain">.h{display:none}</style>' + td('a<span class="h">x</span>b')],
      ['syntax_style_in_template', '<template><style>.h{display:none}</style></template>' + td('a<span class="h">x</span>b')],
    ],
  },
];
