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
