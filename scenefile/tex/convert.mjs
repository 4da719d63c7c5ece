// The scene library's TeX-to-SVG converter. One process serves a whole run:
// it says {"ready": true} once loaded, then reads one request per line on
// stdin, {"tex": "...", "display": true}, and answers each with one line on
// stdout, {"svg": "<svg ...>"} or {"error": "MathJax's message"}, in order.
// Every formula is typeset by a TeX input of its own, so that definitions
// (\def, \newcommand) in one formula never reach another. Glyphs are kept
// as paths in the SVG's own <defs> and drawn with <use>; TeX errors are
// reported, never drawn.
import {createInterface} from 'node:readline';

const major = Number(process.versions.node.split('.')[0]);
if (major < 16) {
  process.stderr.write(`Error: the TeX converter needs Node.js 16 or later (this is ${process.version})\n`);
  process.exit(2);
}

const {mathjax} = await import('mathjax-full/js/mathjax.js');
const {TeX} = await import('mathjax-full/js/input/tex.js');
const {SVG} = await import('mathjax-full/js/output/svg.js');
const {liteAdaptor} = await import('mathjax-full/js/adaptors/liteAdaptor.js');
const {RegisterHTMLHandler} = await import('mathjax-full/js/handlers/html.js');
const {AllPackages} = await import('mathjax-full/js/input/tex/AllPackages.js');

const adaptor = liteAdaptor();
RegisterHTMLHandler(adaptor);

// Every package but the one that draws an unknown macro as red text
// instead of reporting it.
const packages = AllPackages.filter((name) => name !== 'noundefined');

function typeset(tex, display) {
  const input = new TeX({packages, formatError: (jax, err) => { throw err; }});
  const doc = mathjax.document('', {InputJax: input, OutputJax: new SVG({fontCache: 'local'})});
  return adaptor.innerHTML(doc.convert(tex, {display}));
}

function convert(line) {
  let request;
  try {
    request = JSON.parse(line);
  } catch (err) {
    return {error: 'the request is not JSON: ' + err.message};
  }
  if (typeof request.tex !== 'string') return {error: 'the request has no "tex" string'};
  try {
    return {svg: typeset(request.tex, request.display !== false)};
  } catch (err) {
    const message = err && err.message ? err.message : String(err);
    return {error: message.replace(/\s+/g, ' ').trim() || 'MathJax failed without a message'};
  }
}

const lines = createInterface({input: process.stdin, crlfDelay: Infinity});
lines.on('line', (line) => process.stdout.write(JSON.stringify(convert(line)) + '\n'));
process.stdout.write(JSON.stringify({ready: true}) + '\n');
