#pragma once
// Classes of control-library sequences and the header vocabulary of the controls FASTA file.
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

enum class ControlClass : std::int32_t {
    Undefined = 0,
    LQC = 1,
    SQC = 2,
    EPC = 3,
    ENC = 4,
};

// Every class with its name, in id order; the one place where names and ids meet.
extern const std::array<std::pair<ControlClass, std::string_view>, 5> Control_classes;

// Separates a control's name from its class name in a header line.
extern const std::string_view Control_class_marker;

// A header whose name begins with one of these (case-sensitive) names an adapter.
extern const std::array<std::string_view, 3> Adapter_prefixes;

// The row of Control_classes whose name equals name exactly, or nullptr.
const std::pair<ControlClass, std::string_view>* find_control_class(std::string_view name);
