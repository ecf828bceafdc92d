// The calling convention shared by every filter: the buffer, w and h, then
// the parameters in ascending order, all read before any pixel is touched;
// then the stack is cut to the buffer, the filter runs over its w x h words
// and the buffer is the one result. bind_filter makes such a function from a
// row of filters/filter_list.inc; the few filters that read more than their
// arguments write theirs by hand with get_pixels, the arg_* readers and
// run_filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include <lua.hpp>

namespace rururev {

struct Pixels {
    uint32_t* data;  // the caller's buffer, null when there is none
    uint32_t count;  // w x h, an unsigned 32-bit product
    uint32_t w, h;
};

// Reads the buffer (argument 1), w and h. When w x h is above 0 and argument 1
// is not a userdata, raises "pixel buffer expected" through luaL_argerror.
Pixels get_pixels(lua_State* L);

// Parameter readers, one per receiving type. A missing or non-numeric
// argument reads as 0 (or false).
int32_t arg_int(lua_State* L, int idx);
uint32_t arg_dword(lua_State* L, int idx);
uint8_t arg_byte(lua_State* L, int idx);
float arg_float(lua_State* L, int idx);
double arg_double(lua_State* L, int idx);
bool arg_bool(lua_State* L, int idx);

// Cuts the stack to argument 1, runs the kernel and returns the buffer.
template <class Kernel>
int run_filter(lua_State* L, Kernel&& kernel) {
    lua_settop(L, 1);
    kernel();
    return 1;
}

namespace bind_detail {

// The parameter kinds of filter_list.inc, "name:kind" words apart.
constexpr std::size_t kind_count(std::string_view kinds) {
    std::size_t n = 0;
    for (char c : kinds) n += c == ':';
    return n;
}

constexpr std::string_view kind_at(std::string_view kinds, std::size_t i) {
    std::size_t colon = kinds.find(':');
    for (; i > 0; i--) colon = kinds.find(':', colon + 1);
    const std::string_view rest = kinds.substr(colon + 1);
    return rest.substr(0, rest.find(' '));
}

template <std::size_t I>
constexpr bool kUnknownKind = false;

// The reader of each kind; its result type is the parameter type the kind
// must meet.
template <const char* Kinds, std::size_t I>
constexpr auto reader() {
    constexpr std::string_view kind = kind_at(Kinds, I);
    if constexpr (kind == "int") return arg_int;
    else if constexpr (kind == "dword" || kind == "colour") return arg_dword;
    else if constexpr (kind == "byte") return arg_byte;
    else if constexpr (kind == "float") return arg_float;
    else if constexpr (kind == "bool") return arg_bool;
    else static_assert(kUnknownKind<I>, "a kind of filter_list.inc without a reader");
}

template <class F>
struct Params;
template <class... P>
struct Params<void (*)(P...)> {
    using type = std::tuple<P...>;
};

template <auto F, const char* Kinds, std::size_t... I>
int call(lua_State* L, std::index_sequence<I...>) {
    using P = typename Params<decltype(F)>::type;
    // Before the parameters: the buffer and its word count, or the buffer,
    // w and h for a filter that works in rows.
    constexpr std::size_t lead = std::tuple_size_v<P> - sizeof...(I);
    static_assert(lead == 2 || (lead == 3 && std::is_same_v<std::tuple_element_t<2, P>, uint32_t>),
                  "a filter takes (data, count, ...) or (data, w, h, ...)");
    static_assert(std::is_same_v<std::tuple_element_t<0, P>, uint32_t*> &&
                  std::is_same_v<std::tuple_element_t<1, P>, uint32_t>,
                  "a filter takes (data, count, ...) or (data, w, h, ...)");
    static_assert((std::is_same_v<decltype(reader<Kinds, I>()(L, 0)), std::tuple_element_t<lead + I, P>> && ...),
                  "each parameter's type is the one its kind reads");
    const Pixels px = get_pixels(L);
    const std::tuple<std::tuple_element_t<lead + I, P>...> args{reader<Kinds, I>()(L, 4 + static_cast<int>(I))...};
    return run_filter(L, [&] {
        if constexpr (lead == 2) F(px.data, px.count, std::get<I>(args)...);
        else F(px.data, px.w, px.h, std::get<I>(args)...);
    });
}

}  // namespace bind_detail

// The Lua function of filter F whose parameters have the kinds Kinds (a
// row's kinds, "t0:int t1:colour ..."): reads each by its kind, checked at
// compile time against F's parameter types.
template <auto F, const char* Kinds>
int bind_filter(lua_State* L) {
    return bind_detail::call<F, Kinds>(L, std::make_index_sequence<bind_detail::kind_count(Kinds)>());
}

}  // namespace rururev
