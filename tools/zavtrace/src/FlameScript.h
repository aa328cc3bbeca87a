// The flame graph's embedded script: click a frame to zoom to it (its
// callers stay, faded, below it), search names by regular expression with
// the share of time matched, and a details line for the frame under the
// pointer. No network; the picture stays a plain SVG without it.
#pragma once

namespace zavtrace {

inline constexpr const char kFlameScript[] = R"js(
var svg = document.documentElement, side = +svg.getAttribute('data-side'), usable = +svg.getAttribute('data-usable');
var details = document.getElementById('details'), matched = document.getElementById('matched');
var idle = details.textContent, frames = [];
Array.prototype.forEach.call(document.querySelectorAll('g.f'), function (g) {
  var r = g.querySelector('rect'), t = g.querySelector('text');
  var f = {g: g, r: r, t: t, x: +r.getAttribute('x'), w: +r.getAttribute('width'), y: +r.getAttribute('y'),
           name: g.getAttribute('data-name'), fill: r.getAttribute('fill'), info: g.querySelector('title').textContent};
  frames.push(f);
  g.addEventListener('click', function () { zoom(f); });
  g.addEventListener('mouseover', function () { details.textContent = f.info; });
  g.addEventListener('mouseout', function () { details.textContent = idle; });
});
function label(f, x, w) {
  if (!f.t) return;
  var fits = Math.floor((w - 6) / 7);
  f.t.setAttribute('x', (x + 3).toFixed(2));
  f.t.textContent = fits < 3 ? '' : f.name.length <= fits ? f.name : f.name.substring(0, fits - 2) + '..';
}
function place(f, x, w, shown, faded) {
  f.g.style.display = shown ? '' : 'none';
  f.g.style.opacity = faded ? 0.5 : 1;
  f.r.setAttribute('x', x.toFixed(2));
  f.r.setAttribute('width', w.toFixed(2));
  label(f, x, w);
}
function zoom(z) {
  var scale = usable / z.w;
  document.getElementById('unzoom').style.display = '';
  frames.forEach(function (f) {
    if (f.y > z.y) {  // below the frame: shown whole when it is one of its callers
      var caller = f.x <= z.x + 0.01 && f.x + f.w >= z.x + z.w - 0.01;
      place(f, side, usable, caller, true);
    } else {
      var inside = f.x >= z.x - 0.01 && f.x + f.w <= z.x + z.w + 0.01;
      place(f, side + (f.x - z.x) * scale, f.w * scale, inside, false);
    }
  });
}
function unzoom() {
  document.getElementById('unzoom').style.display = 'none';
  frames.forEach(function (f) { place(f, f.x, f.w, true, false); });
}
function search(pattern) {
  var re, spans = [];
  try { re = new RegExp(pattern); } catch (e) { return; }
  frames.forEach(function (f) {
    var hit = pattern !== '' && f.name !== 'all' && re.test(f.name);
    f.r.setAttribute('fill', hit ? 'rgb(230,0,230)' : f.fill);
    if (hit) spans.push([f.x, f.x + f.w]);
  });
  // Nested matches count once: the union of their spans.
  spans.sort(function (a, b) { return a[0] - b[0]; });
  var sum = 0, end = -1;
  spans.forEach(function (s) { if (s[1] > end) { sum += s[1] - Math.max(s[0], end); end = s[1]; } });
  matched.textContent = pattern === '' ? '' : 'Matched: ' + (100 * sum / usable).toFixed(1) + '%';
}
document.getElementById('unzoom').addEventListener('click', unzoom);
document.getElementById('search').addEventListener('click', function () {
  var p = prompt('Search frames (regular expression)', '');
  if (p !== null) search(p);
});
window.addEventListener('keydown', function (e) {
  if ((e.ctrlKey || e.metaKey) && e.key === 'f') { e.preventDefault(); var p = prompt('Search frames (regular expression)', ''); if (p !== null) search(p); }
  if (e.key === 'Escape') { search(''); unzoom(); }
});
)js";

}  // namespace zavtrace
