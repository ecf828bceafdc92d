// The engine's JavaScript side, inside the factory: engine.lua(source,
// args, name) runs a chunk and returns { output, error } (error null when
// it ran); engine.FS is the in-memory file system its scripts read and write.
Module['lua'] = function (source, args, name) {
  const chunk = name === undefined ? 'script' : String(name);
  Module['_rururev_engine_clear_args']();
  for (const a of args || []) withString(String(a), (p) => Module['_rururev_engine_add_arg'](p));
  const text = String(source);
  const length = lengthBytesUTF8(text);
  const buffer = Module['_malloc'](length + 1);
  if (buffer === 0) return { output: '', error: 'out of memory' };
  stringToUTF8(text, buffer, length + 1);
  let status;
  try {
    status = withString(chunk, (p) => Module['_rururev_engine_run'](buffer, length, p));
  } finally {
    Module['_free'](buffer);
  }
  const output = UTF8ToString(Module['_rururev_engine_output'](), Module['_rururev_engine_output_length']());
  return { output: output, error: status === 0 ? null : UTF8ToString(Module['_rururev_engine_error']()) };
};

// engine.frame(rgba, width, height, source): runs `source` with the globals
// data, w and h on a copy of the RGBA bytes (as a canvas gives them) turned
// into pixel words, and returns { output, error, rgba } with the words
// turned back into RGBA bytes. The copy is kept for the next frame.
let frameBuffer = 0, frameBytes = 0;
Module['frame'] = function (rgba, width, height, source) {
  const bytes = width * height * 4;
  if (bytes !== frameBytes) {
    if (frameBuffer !== 0) Module['_free'](frameBuffer);
    frameBuffer = Module['_malloc'](bytes);
    frameBytes = frameBuffer === 0 ? 0 : bytes;
    if (frameBuffer === 0) return { output: '', error: 'out of memory', rgba: null };
  }
  // A pixel word in memory is B, G, R, A: red and blue change places.
  const swap = (from, to) => {
    for (let i = 0; i < bytes; i += 4) {
      to[i] = from[i + 2]; to[i + 1] = from[i + 1]; to[i + 2] = from[i]; to[i + 3] = from[i + 3];
    }
  };
  swap(rgba, HEAPU8.subarray(frameBuffer, frameBuffer + bytes));
  Module['_rururev_engine_set_frame'](frameBuffer, width, height);
  const result = Module['lua'](source, [], 'frame');
  result.rgba = new Uint8ClampedArray(bytes);
  swap(HEAPU8.subarray(frameBuffer, frameBuffer + bytes), result.rgba);
  return result;
};

// Calls f with a C copy of the string s, freed after.
function withString(s, f) {
  const length = lengthBytesUTF8(s);
  const p = Module['_malloc'](length + 1);
  if (p === 0) throw new Error('out of memory');
  stringToUTF8(s, p, length + 1);
  try {
    return f(p);
  } finally {
    Module['_free'](p);
  }
}
