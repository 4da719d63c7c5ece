// The scene library's TeX-to-SVG converter. One process serves a whole run:
// it reads one request per line on stdin, {"tex": "...", "display": true},
// and answers each with one line on stdout, {"svg": "<svg ...>"} or
// {"error": "MathJax's message"}, in order. Glyphs are kept as paths in the
// SVG's own <defs> and drawn with <use>; TeX errors are reported, never
// drawn.
import {createInterface} from 'node:readline';
import {mathjax} from 'mathjax-full/js/mathjax.js';
import {TeX} from 'mathjax-full/js/input/tex.js';
import {SVG} from 'mathjax-full/js/output/svg.js';
import {liteAdaptor} from 'mathjax-full/js/adaptors/liteAdaptor.js';
import {RegisterHTMLHandler} from 'mathjax-full/js/handlers/html.js';
import {AllPackages} from 'mathjax-full/js/input/tex/AllPackages.js';

const adaptor = liteAdaptor();
RegisterHTMLHandler(adaptor);

// Every package but the one that draws an unknown macro as red text
// instead of reporting it.
const tex = new TeX({
  packages: AllPackages.filter((name) => name !== 'noundefined'),
  formatError: (jax, err) => { throw err; },
});
const svg = new SVG({fontCache: 'local'});
const doc = mathjax.document('', {InputJax: tex, OutputJax: svg});

function convert(line) {
  let request;
  try {
    request = JSON.parse(line);
  } catch (err) {
    return {error: 'the request is not JSON: ' + err.message};
  }
  if (typeof request.tex !== 'string') return {error: 'the request has no "tex" string'};
  try {
    const node = doc.convert(request.tex, {display: request.display !== false});
    doc.clear();
    return {svg: adaptor.innerHTML(node)};
  } catch (err) {
    const message = err && err.message ? err.message : String(err);
    return {error: message.replace(/\s+/g, ' ').trim() || 'MathJax failed without a message'};
  }
}

const lines = createInterface({input: process.stdin, crlfDelay: Infinity});
for await (const line of lines) process.stdout.write(JSON.stringify(convert(line)) + '\n');
