// What a headline explains and what a warning is of, each a closed set named once: the names are
// the JSON's ("effect", a warning's "kind"), which the schema lists and a test holds to these.
#pragma once

#include <cstddef>
#include <iterator>

namespace omp_sums {

enum class effect_kind {
  none,  // a note, explaining nothing
  false_sharing,
  openmp_cost,
  inorder_cost,
  slot_price,
  first_touch,
  page_placement,
  settings,
  sizes,
  clock,
};

enum class warning_kind {
  runtime_setting,  // a setting the runtime rejected
  standard_error,   // a program wrote to its standard error
  placement,        // threads shared processors, or were not where asked
  core_kinds,       // a team spread over cores of different kinds
  noise,            // runs spread widely
};

template <typename Kind>
struct kind_name {
  Kind kind;
  const char* name;  // nullptr: written as null
};

inline constexpr kind_name<effect_kind> kEffects[] = {
    {effect_kind::none, nullptr},
    {effect_kind::false_sharing, "false_sharing"},
    {effect_kind::openmp_cost, "openmp_cost"},
    {effect_kind::inorder_cost, "inorder_cost"},
    {effect_kind::slot_price, "slot_price"},
    {effect_kind::first_touch, "first_touch"},
    {effect_kind::page_placement, "page_placement"},
    {effect_kind::settings, "settings"},
    {effect_kind::sizes, "sizes"},
    {effect_kind::clock, "clock"},
};

inline constexpr kind_name<warning_kind> kWarningKinds[] = {
    {warning_kind::runtime_setting, "runtime_setting"},
    {warning_kind::standard_error, "standard_error"},
    {warning_kind::placement, "placement"},
    {warning_kind::core_kinds, "core_kinds"},
    {warning_kind::noise, "noise"},
};

template <typename Kind, std::size_t N>
constexpr bool in_order(const kind_name<Kind> (&table)[N], Kind last) {
  for (std::size_t k = 0; k < N; ++k) {
    if (static_cast<std::size_t>(table[k].kind) != k) return false;
  }
  return static_cast<std::size_t>(last) + 1 == N;
}
static_assert(in_order(kEffects, effect_kind::clock), "kEffects names every effect_kind, in its order");
static_assert(in_order(kWarningKinds, warning_kind::noise), "kWarningKinds names every warning_kind, in its order");

// The JSON's name; nullptr for effect_kind::none.
constexpr const char* name_of(effect_kind effect) { return kEffects[static_cast<std::size_t>(effect)].name; }
constexpr const char* name_of(warning_kind kind) { return kWarningKinds[static_cast<std::size_t>(kind)].name; }

}  // namespace omp_sums
