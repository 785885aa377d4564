#pragma once
// One record of the controls list: the header text after '>' (class tag included), the class
// name and the sequence.
#include <string>

struct ControlRecord {
    std::string name;
    std::string class_name;
    std::string sequence;
};
