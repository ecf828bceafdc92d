// The rururev_image Lua module: pictures, their pixels, files, and the
// errors it raises instead of crashing.
#include <malloc.h>

#include "lua_fixture.h"
#include "scratch.h"

extern "C" int luaopen_rururev_image(lua_State* L);

namespace {

class ImageModule : public LuaTest {
protected:
    void SetUp() override {
        LuaTest::SetUp();
        lua_getglobal(L, "package");
        lua_getfield(L, -1, "preload");
        lua_pushcfunction(L, luaopen_rururev_image);
        lua_setfield(L, -2, "rururev_image");
        lua_pop(L, 2);
        run("image = require 'rururev_image'");
        lua_pushstring(L, dir.path().c_str());
        lua_setglobal(L, "dir");
    }

    // Runs `code` and returns the text of the error it raises, without the
    // position of the call that Lua puts first.
    std::string error_of(const std::string& code) {
        const std::string error = try_run(code);
        EXPECT_NE(error, "") << code << " raised nothing";
        const std::string where = "[string \"" + code + "\"]:1: ";
        return error.compare(0, where.size(), where) == 0 ? error.substr(where.size()) : error;
    }

    ScratchDir dir;
};

TEST_F(ImageModule, NewPicturesHaveTheirSizeAndFill) {
    run("pic = image.new(3, 2, 0xFF102030)\n"
        "w, h = pic:size()\n"
        "assert(w == 3 and h == 2 and pic:width() == 3 and pic:height() == 2)\n"
        "for y = 0, 1 do for x = 0, 2 do assert(pic:get(x, y) == 0xFF102030) end end\n"
        "assert(image.new(1, 1):get(0, 0) == 0)");
}

TEST_F(ImageModule, SetAndGetAddressColumnsAndRowsFromZero) {
    run("pic = image.new(3, 2)\n"
        "pic:set(2, 1, 0xFFFFFFFF)\n"
        "pic:set(0, 1, -1)\n"          // converted like a filter's DWORD
        "pic:set(1, 0, 0x1FF000000 + 5)\n"
        "pic:set(0, 0, 12.9)");
    lua_getglobal(L, "pic");
    run("ptr = pic:data()");
    lua_getglobal(L, "ptr");
    const auto* words = static_cast<const uint32_t*>(lua_touserdata(L, -1));
    lua_pop(L, 2);
    const std::vector<uint32_t> got(words, words + 6);
    EXPECT_EQ(got, (std::vector<uint32_t>{12, 0xFF000005, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF}));
}

TEST_F(ImageModule, ApplyHandsTheFilterThePictureAndItsSize) {
    run("pic = image.new(2, 2, 0x80101010)\n"
        "pic:set(1, 1, 0x00101010)\n"
        "assert(pic:apply(librururev.tovoRGB2, 5, 0, -5, 1) == pic)\n"
        "for _, xy in ipairs{{0, 0}, {1, 0}, {0, 1}} do\n"
        "  assert(pic:get(xy[1], xy[2]) == 0x8115100B)\n"
        "end\n"
        "assert(pic:get(1, 1) == 0x00101010)");
}

TEST_F(ImageModule, CopiesAreIndependent) {
    run("a = image.new(2, 1, 7)\n"
        "b = a:copy()\n"
        "b:set(0, 0, 9)\n"
        "assert(a:get(0, 0) == 7 and b:get(0, 0) == 9 and b:get(1, 0) == 7)\n"
        "assert(a:data() ~= b:data())");
}

TEST_F(ImageModule, SavedPicturesLoadBackWordForWord) {
    run("pic = image.new(2, 2)\n"
        "pic:set(0, 0, 0x00ABCDEF) pic:set(1, 0, 0xFF000001)\n"
        "pic:set(0, 1, 0x80FFFFFF) pic:set(1, 1, 0x01020304)\n"
        "for _, options in ipairs{{}, {level = 0}, {level = 9}, false} do\n"
        "  assert(pic:save(dir .. '/p.png', options or nil) == pic)\n"
        "  back = image.load(dir .. '/p.png')\n"
        "  assert(back:width() == 2 and back:height() == 2)\n"
        "  for y = 0, 1 do for x = 0, 1 do assert(back:get(x, y) == pic:get(x, y)) end end\n"
        "end");
}

// Pictures of 4 MB are mapped from the system one by one, so the mapped
// total shows when their memory is handed back. AddressSanitizer's own
// allocator keeps no such total; there, it reports leaks instead.
TEST_F(ImageModule, PicturesAreFreedWithTheirObjects) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "no malloc statistics under AddressSanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "no malloc statistics under AddressSanitizer";
#endif
#endif
    const size_t before = mallinfo2().hblkhd;
    run("held = {}\n"
        "for i = 1, 10 do held[i] = image.new(1000, 1000) end");
    const size_t holding = mallinfo2().hblkhd;
    EXPECT_GE(holding, before + 40000000);
    run("held = nil\n"
        "collectgarbage()");
    EXPECT_LT(mallinfo2().hblkhd, holding - 39000000);
}

TEST_F(ImageModule, BadCallsRaiseErrors) {
    write_file(dir / "text.png", "not a picture");
    const struct { const char* code; std::string message; } cases[] = {
        {"image.new(0, 5)", "bad argument #1 to 'new' (size must be a whole number from 1 to 268435456, got 0)"},
        {"image.new(5, 2.5)", "bad argument #2 to 'new' (size must be a whole number from 1 to 268435456, got 2.5)"},
        {"image.new(5, -1)", "bad argument #2 to 'new' (size must be a whole number from 1 to 268435456, got -1)"},
        {"image.new(5, 1/0)", "bad argument #2 to 'new' (size must be a whole number from 1 to 268435456, got inf)"},
        {"image.new('x', 1)", "bad argument #1 to 'new' (number expected, got string)"},
        {"image.new(65536, 65536)", "a picture of 65536 x 65536 pixels is more than the limit of 268435456"},
        {"image.new(2, 2):get(2, 0)", "pixel (2, 0) is outside the 2 x 2 picture"},
        {"image.new(2, 2):get(0, -1)", "pixel (0, -1) is outside the 2 x 2 picture"},
        {"image.new(2, 2):get(0.5, 0)", "pixel (0.5, 0) is outside the 2 x 2 picture"},
        {"image.new(2, 2):set(0, 2, 1)", "pixel (0, 2) is outside the 2 x 2 picture"},
        // Lua counts a method's arguments after the object.
        {"image.new(2, 2):set(0, 0)", "bad argument #3 to 'set' (number expected, got no value)"},
        {"image.width({})", "bad argument #1 to 'width' (rururev_image expected, got table)"},
        {"image.save(nil, 'x.png')", "bad argument #1 to 'save' (rururev_image expected, got nil)"},
        {"image.new(1, 1):apply(nil)", "bad argument #1 to 'apply' (function expected, got nil)"},
        {"image.new(1, 1):apply(function() error('inside', 0) end)", "inside"},
        {"image.load(dir .. '/text.png\\0.jpg')", "bad argument #1 to 'load' (file name contains a zero byte)"},
        {"image.new(1, 1):save('x.png\\0')", "bad argument #1 to 'save' (file name contains a zero byte)"},
        {"image.new(1, 1):save('x.png', {level = 10})",
         "bad argument #2 to 'save' (level must be a whole number from 0 to 9)"},
        {"image.new(1, 1):save('x', {level = 1.5})",
         "bad argument #2 to 'save' (level must be a whole number from 0 to 9)"},
        {"image.load(dir .. '/missing.png')",
         "cannot load '" + (dir / "missing.png") + "': No such file or directory"},
        {"image.load(dir .. '/text.png')", "cannot load '" + (dir / "text.png") + "': not a PNG or JPEG file"},
        {"image.new(1, 1):save(dir .. '/p.gif')",
         "cannot save '" + (dir / "p.gif") + "': unknown picture type '.gif' (use .png, .jpg or .jpeg)"},
        {"image.frames(dir, {frames = 0})", "option frames must be a whole number from 1"},
        {"image.frames(dir, {frames = '2x'})", "option frames must be a whole number from 1"},
        {"image.new(1,1):save('p.jpg',{quality=0})",
         "bad argument #2 to 'save' (quality must be a whole number from 1 to 100)"},
        {"image.new(1, 1):save(dir .. '/no/folder.png')",
         "cannot save '" + (dir / "no/folder.png") +
             "': the folder '" + (dir / "no") + "' does not exist"},
    };
    for (const auto& c : cases) EXPECT_EQ(error_of(c.code), c.message) << c.code;
}

}  // namespace
