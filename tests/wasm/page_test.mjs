// The playground page in headless Chromium, opened from file://: every
// buffer filter of its table, alone in the chain with its first arguments,
// renders through the engine in the page's Worker, and the PNG it shows is,
// byte for byte, the one the same engine writes under Node for the Lua lines
// the page displays. Then scripts, their errors and the stop button,
// photos opened from the disk, and a 1080p video (made by ffmpeg) playing
// through tovoHSV, whose frame shown is the engine's for the frame drawn.
//
//   node page_test.mjs PAGE ENGINE_JS NODE_MODULES
import { execFileSync } from "node:child_process";
import { createRequire } from "node:module";
import { rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";

const [page, enginePath, playwrightDir] = process.argv.slice(2);
const require = createRequire(path.resolve(playwrightDir, "x.js"));
const { chromium } = require("playwright-core");
const engine = await createRequire(import.meta.url)(path.resolve(enginePath))();

function fail(message) {
  console.error("playground in a browser: " + message);
  process.exitCode = 1;
}

// The page's picture for `lua`, as the engine under Node writes it.
function expected(lua) {
  const r = engine.lua(`local pic = dofile("/rururev/cli/test_card.lua")()
    local data, w, h = pic:data(), pic:size()
    ${lua}
    pic:save("/expected.png")`, []);
  if (r.error !== null) throw new Error(r.error);
  return Buffer.from(engine.FS.readFile("/expected.png"));
}

const clip = path.join(os.tmpdir(), `playground-${process.pid}.webm`);
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox", "--disable-gpu"] });
try {
  const tab = await browser.newPage();
  tab.on("pageerror", (e) => fail(e.message));
  await tab.goto("file://" + path.resolve(page));
  await tab.waitForFunction(() => document.querySelectorAll("#add-filter option").length > 0, null, { timeout: 30000 });
  const names = await tab.$$eval("#add-filter option", (options) => options.map((o) => o.value));
  for (const name of names) {
    if (await tab.$("#chain li button[title=remove]")) await tab.click("#chain li button[title=remove]");
    await tab.selectOption("#add-filter", name);
    await tab.click("#add");
    await tab.waitForFunction((n) => ` ${document.body.dataset.rendered || ""}`.includes(` ${n} `), name, { timeout: 30000 });
    const error = await tab.textContent("#error");
    if (error) { fail(`${name}: ${error}`); continue; }
    const lua = (await tab.textContent("#lua-lines")).split("\n").slice(2).join("\n");
    const shown = Buffer.from(await tab.evaluate(async () =>
      Array.from(new Uint8Array(await (await fetch(document.getElementById("filtered").src)).arrayBuffer()))));
    if (!shown.equals(expected(lua))) fail(`${name}: the page's picture differs from the engine's for ${lua}`);
  }
  console.log(`playground in a browser: ${names.length} filters rendered from file://`);

  // Scripts: an error names its line; a runaway one is stopped, and the page
  // renders again after.
  const script = async (source) => {
    await tab.fill("#script", source);
    await tab.click("#run");
  };
  await script("local x = 1\nerror('boom')");
  await tab.waitForFunction(() => document.getElementById("script-output").textContent.includes("script:2: boom"));
  await script("while true do end");
  await tab.waitForTimeout(300);
  await tab.click("#stop");
  await tab.waitForFunction(() => document.getElementById("script-output").textContent === "stopped");
  await tab.fill("#p-t0", "7");
  await tab.waitForFunction(() => (document.body.dataset.rendered || "").includes(" 7 "), null, { timeout: 30000 });

  // A photo opened from the disk replaces the card, and one past the limit is refused.
  const photo = (w, h, name) => {
    engine.lua(`rururev_image.new(${w}, ${h}, 0xFF336699):save("/${name}")`, []);
    return { name, mimeType: "image/png", buffer: Buffer.from(engine.FS.readFile("/" + name)) };
  };
  await tab.setInputFiles("#open", photo(64, 32, "small.png"));
  await tab.waitForFunction(() => document.getElementById("source").textContent.startsWith("small.png, 64 x 32"));
  await tab.setInputFiles("#open", photo(8193, 4096, "large.png"));
  await tab.waitForFunction(() => document.getElementById("error").textContent ===
    "'/large.png' is too large to preview: at most 33554432 pixels", null, { timeout: 30000 });

  execFileSync("ffmpeg", ["-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30", "-t", "3",
    "-c:v", "libvpx", "-b:v", "4M", "-deadline", "realtime", "-cpu-used", "8", clip]);
  await tab.click("#chain li button[title=remove]");
  await tab.selectOption("#add-filter", "tovoHSV");
  await tab.click("#add");
  await tab.setInputFiles("#open-video", clip);
  await tab.waitForFunction(() => document.body.dataset.frame !== undefined, null, { timeout: 30000 });
  await tab.click("#play");
  await tab.waitForTimeout(2500);
  await tab.click("#step");
  await tab.waitForFunction(() => document.getElementById("play").textContent === "Play" &&
    Number(document.body.dataset.frame) > 0.5, null, { timeout: 30000 });
  console.log(`playground in a browser: 1080p through tovoHSV at ${await tab.textContent("#fps")}`);
  const [drawn, shown] = await tab.evaluate(() => ["video-original", "video-filtered"].map((id) => {
    const c = document.getElementById(id);
    const bytes = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let text = "";
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }));
  const want = engine.frame(new Uint8ClampedArray(Buffer.from(drawn, "base64")), 1920, 1080,
    "librururev.tovoHSV(data, w, h, 120, 0, 0, 0)");
  if (!Buffer.from(want.rgba.buffer).equals(Buffer.from(shown, "base64"))) fail("the video's frame differs from the engine's");
} catch (error) {
  fail(error.message);
} finally {
  await browser.close();
  rmSync(clip, { force: true });
}
