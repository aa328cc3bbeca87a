// The flame graph's script driven under node over a stand-in for the few DOM
// calls it makes: search marks the matches and counts nested ones once, a
// click zooms to a frame and hides what is not on its paths, reset restores.
//   node FlameScriptCheck.mjs FLAME.svg   (the frozen sample's graph)
import fs from 'node:fs';
const svg = fs.readFileSync(process.argv[2], 'utf8');
const script = svg.match(/<!\[CDATA\[([\s\S]*)\]\]>/)[1];
function el(attrs, text) {
  const l = {};
  return { attrs: { ...attrs }, style: {}, textContent: text || '',
    getAttribute(k) { return this.attrs[k]; }, setAttribute(k, v) { this.attrs[k] = String(v); },
    addEventListener(e, f) { l[e] = f; }, fire(e) { l[e](); }, querySelector(sel) { return this.kids[sel]; }, kids: {} };
}
const groups = [];
for (const m of svg.matchAll(/<g class="f" data-name="([^"]*)"><title>([^<]*)<\/title><rect x="([\d.]+)" y="(\d+)" width="([\d.]+)"[^>]*fill="([^"]+)"[^>]*\/>(?:<text[^>]*>([^<]*)<\/text>)?/g)) {
  const g = el({ 'data-name': m[1] });
  g.kids.title = el({}, m[2]); g.kids.rect = el({ x: m[3], y: m[4], width: m[5], fill: m[6] });
  g.kids.text = m[7] !== undefined ? el({}, m[7]) : null;
  groups.push(g);
}
const ids = { details: el({}, 'idle'), matched: el({}), unzoom: el({}), search: el({}) };
const root = el({ 'data-side': svg.match(/data-side="([\d.]+)"/)[1], 'data-usable': svg.match(/data-usable="([\d.]+)"/)[1] });
const answer = 'Work\\.(Load|Parse)';
const document = { documentElement: root, getElementById: (i) => ids[i], querySelectorAll: () => groups };
const window = { addEventListener() {} };
new Function('document', 'window', 'prompt', script)(document, window, () => answer);
function check(ok, what) {
  if (!ok) { console.error(`flame script: ${what}`); process.exit(1); }
}
const frame = (name) => groups.find((g) => g.getAttribute('data-name') === name);
// The matches' own shares, from the titles: Parse lies inside Load and counts once.
const share = (g) => +g.kids.title.textContent.match(/, ([\d.]+)%/)[1];
const loads = groups.filter((g) => g.getAttribute('data-name') === 'Work.Load').reduce((s, g) => s + share(g), 0);
ids.search.fire('click');
check(ids.matched.textContent === `Matched: ${loads.toFixed(1)}%`, `matched ${ids.matched.textContent}, not ${loads.toFixed(1)}%`);
check(frame('Work.Parse').kids.rect.attrs.fill === 'rgb(230,0,230)', 'a match is not marked');
const load = frame('Work.Load'), save = frame('Work.Save');
load.fire('mouseover');
check(ids.details.textContent === load.kids.title.textContent, 'no details line');
const before = load.kids.rect.attrs.width;
load.fire('click');
check(Math.abs(+load.kids.rect.attrs.width - +root.getAttribute('data-usable')) < 0.01, 'the zoomed frame is not full width');
check(save.style.display === 'none' && groups[0].style.display === '', 'zoom shows a frame off the path or hides a caller');
ids.unzoom.fire('click');
check(load.kids.rect.attrs.width === before && save.style.display === '', 'reset does not restore');
