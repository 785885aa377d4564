#include "converter/analysis/control_class.h"

const std::array<std::pair<ControlClass, std::string_view>, 5> Control_classes = {{
    {ControlClass::Undefined, "Undefined"},
    {ControlClass::LQC, "LQC"},
    {ControlClass::SQC, "SQC"},
    {ControlClass::EPC, "EPC"},
    {ControlClass::ENC, "ENC"},
}};

const std::string_view Control_class_marker = "|ControlClass:";

const std::array<std::string_view, 3> Adapter_prefixes = {"adapter", "Adapter", "ADAPTER"};

const std::pair<ControlClass, std::string_view>* find_control_class(std::string_view name)
{
    for (const auto& row : Control_classes)
        if (row.second == name)
            return &row;
    return nullptr;
}
