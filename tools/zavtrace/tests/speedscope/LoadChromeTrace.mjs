// Loads Chrome trace event files with speedscope's own importer, headless:
// its release bundle runs in a bare context (the importer needs no DOM; the
// interface that would draw the result stops on its first DOM call), and the
// importer's entry point is taken from the bundle's scope.
//   node LoadChromeTrace.mjs FILE...
// Fails when a file with slices does not import, or when the importer reports a slice
// that ends out of its stack order ("Tried to end ...").
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const release = path.join(path.dirname(require.resolve('speedscope/package.json')), 'dist', 'release');
const bundle = fs.readdirSync(release).find((f) => /^speedscope-[A-Z0-9]+\.js$/.test(f));
let source = fs.readFileSync(path.join(release, bundle), 'utf8');
// The pinned 1.25.0 bundle: one function scope whose importProfileGroupFromText
// wrapper is named Ff.
const opening = '"use strict";(()=>{';
if (!source.startsWith(opening) || !source.includes('async function Ff(t,e){return(await jr).importProfileGroupFromText(t,e)}'))
  throw new Error(`unexpected speedscope bundle ${bundle}: pin the version in package.json`);
source = opening + 'globalThis.zavImport=Ff;' + source.slice(opening.length);

const warnings = [];
const anything = new Proxy(function () {}, {
  get: (_, key) => (key === Symbol.toPrimitive ? () => '' : anything),
  apply: () => anything,
  construct: () => anything,
});
const context = {
  console: { log() {}, info() {}, debug() {}, error() {}, warn: (...args) => warnings.push(args.join(' ')) },
  setTimeout, clearTimeout, Promise, TextDecoder, TextEncoder, URL, Uint8Array, ArrayBuffer, DataView,
  navigator: { userAgent: 'node' }, location: { href: 'file:///', hash: '', search: '' }, document: anything,
};
context.window = context;
context.self = context;
vm.createContext(context);
try {
  vm.runInContext(source, context);
} catch {
  // The interface, drawing into a document there is none of.
}
if (typeof context.zavImport !== 'function') throw new Error('speedscope importer not found');

let failed = false;
for (const file of process.argv.slice(2)) {
  warnings.length = 0;
  let group = null;
  const text = fs.readFileSync(file, 'utf8');
  // A trace without routine calls has nothing for a profile.
  const slices = JSON.parse(text).traceEvents.filter((e) => e.ph === 'X').length;
  try {
    group = await context.zavImport(path.basename(file), text);
  } catch (e) {
    console.log(`${file}: the importer failed: ${String(e.message).slice(0, 200)}`);
  }
  const profiles = group ? group.profiles : [];
  const frames = profiles.reduce((n, p) => n + p.getTotalWeight(), 0);
  const misnested = warnings.filter((w) => w.includes('Tried to end'));
  console.log(`${file}: ${slices} slice(s) in ${profiles.length} profile(s), total weight ${frames}, ${misnested.length} misnested slice(s)`);
  if ((slices > 0 && profiles.length === 0) || misnested.length > 0) {
    failed = true;
    for (const w of misnested.slice(0, 5)) console.log(`  ${w}`);
  }
}
process.exit(failed ? 1 : 0);
