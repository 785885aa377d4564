#include "tools/runsim/sheet_texts.h"

#include <algorithm>

namespace runsim {
namespace {

std::string quoted(const std::string& text)
{
    return '"' + text + '"';
}

// The used cycles of the read that holds the role, 0 without it.
int read_cycles(const RunRecipe& recipe, ReadRole role)
{
    const RoleRange range = recipe.layout.range(role);
    return range.present() ? recipe.layout.reads[std::size_t(range.read - 1)].cycles : 0;
}

// Cycle counts of "Flow Cell Settings" accept 8 to 255, the optional ones also 0.
int sheet_cycles(int cycles, bool required)
{
    if (required)
        return std::clamp(cycles, 8, 255);
    return cycles >= 8 && cycles <= 255 ? cycles : 0;
}

std::string quillon_settings_lines(const RunRecipe& recipe, bool outputs)
{
    std::string text;
    if (outputs)
        text += "OutputControlFASTQ,True\nOutputIndexFASTQ,False\nMergeLanes,False\n";
    text += "I1Mismatches," + std::to_string(recipe.i1_mismatches) + "\n";
    text += "I2Mismatches," + std::to_string(recipe.i2_mismatches) + "\n";
    const std::pair<const char*, ReadRole> keys[] = {{"R1CycleUsage", ReadRole::R1}, {"R2CycleUsage", ReadRole::R2},
                                                     {"I1CycleUsage", ReadRole::I1}, {"I2CycleUsage", ReadRole::I2},
                                                     {"U1CycleUsage", ReadRole::U1}, {"U2CycleUsage", ReadRole::U2}};
    for (const auto& [key, role] : keys) {
        const std::string mask = recipe.layout.mask(role);
        if (!mask.empty())
            text += std::string(key) + "," + quoted(mask) + "\n";
        else if (!is_umi_role(role))
            text += std::string(key) + "\n"; // required key, no value
    }
    return text;
}

} // namespace

std::string design_sheet_text(const RunRecipe& recipe)
{
    return "[Header]\nFileFormatVersion,1\n\n[Quillon Settings]\n" + quillon_settings_lines(recipe, true) + "\n";
}

std::string sample_sheet_text(const RunRecipe& recipe, const RunIdentity& identity,
                              const std::vector<SampleTruth>& samples)
{
    std::string text = "[Run Information]\nFileFormatVersion,2\nInstrumentPlatform,\"QuillonSim\"\n";
    text += "FlowcellBarcode," + quoted(identity.flowcell_id) + "\n";
    text += "RunName," + quoted(identity.run_folder_name()) + "\n\n";
    text += "[Flow Cell Settings]\n";
    text += "Read1Cycles," + std::to_string(sheet_cycles(read_cycles(recipe, ReadRole::R1), true)) + "\n";
    text += "Read2Cycles," + std::to_string(sheet_cycles(read_cycles(recipe, ReadRole::R2), false)) + "\n";
    text += "Index1Cycles," + std::to_string(sheet_cycles(read_cycles(recipe, ReadRole::I1), false)) + "\n";
    text += "Index2Cycles," + std::to_string(sheet_cycles(read_cycles(recipe, ReadRole::I2), false)) + "\n";
    text += "CustomPrimer,False\nQUILLON,True\n\n";
    text += "[Quillon Settings]\n" + quillon_settings_lines(recipe, false) + "\n";
    text += "[Samples]\nBiosample,Lane,Index,Index2\n";
    for (const SampleTruth& sample : samples)
        text += sample.name + "," + std::to_string(sample.lane) + "," + sample.index + "," +
                (sample.index2.empty() ? std::string("\"\"") : sample.index2) + "\n";
    return text + "\n";
}

std::string legacy_sample_sheet_text(const RunRecipe& recipe, const RunIdentity& identity,
                                     const std::vector<SampleTruth>& samples, const ControlLibrary& library)
{
    const ReadLayout& layout = recipe.layout;
    std::string text = "[Header]\nBarcode," + identity.flowcell_id + "\n\n";
    text += "[Index Reads]\nRead,Data_Column_Name,Position_Start,Position_Stop\n";
    for (const auto& [role, name] : {std::pair{ReadRole::I1, "Index1"}, {ReadRole::I2, "Index2"}}) {
        const RoleRange range = layout.range(role);
        if (range.present())
            text += "R" + std::to_string(range.read) + "," + name + "," + std::to_string(range.first) + "," +
                    std::to_string(range.last) + "\n";
    }
    text += "\n[Paired Reads]\nRead,Pair\n";
    for (const ReadRole role : {ReadRole::R1, ReadRole::R2})
        if (const int read = layout.read_of(role); read != 0)
            text += "R" + std::to_string(read) + "," + std::string(role_name(role)) + "\n";
    text += "\n[Adapters]\nAdapter_Name,Sequence\n";
    for (const AdapterRecord& adapter : library.adapters)
        text += adapter.name + "," + adapter.sequence + "\n";
    text += "\n[UMI Reads]\nRead,Position_Start,Position_Stop\n";
    for (const ReadRole role : {ReadRole::U1, ReadRole::U2}) {
        const RoleRange range = layout.range(role);
        if (range.present())
            text += "R" + std::to_string(range.read) + "," + std::to_string(range.first) + "," +
                    std::to_string(range.last) + "\n";
    }
    text += "\n[Data]\nLane,Sample_ID,Index1,Index2,Sample_Project,Description\n";
    for (const SampleTruth& sample : samples)
        text += std::to_string(sample.lane) + "," + sample.name + "," + sample.index + "," + sample.index2 +
                ",Project,runsim\n";
    return text;
}

} // namespace runsim
