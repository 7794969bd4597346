// The list's record and its filtered view.
#include "resultList.h"

#include "rpStrings.h"

#include <algorithm>

void ResultList::clear()
{
    files_.clear();
    blocks_.clear();
    showAll();
}

std::vector<size_t> ResultList::addBlocks(std::vector<NewBlock>& blocks)
{
    std::vector<size_t> shown;
    std::vector<size_t> shownFiles;
    for (NewBlock& added : blocks) {
        Block block;
        block.lines = std::move(added.lines);
        if (added.isSummary) {
            block.folder = added.folder;
        } else {
            files_.push_back(std::move(added.file));
            block.file = static_cast<int>(files_.size() - 1);
        }
        blocks_.push_back(std::move(block));
        if (passes(blocks_.back())) {
            shown.push_back(blocks_.size() - 1);
            if (blocks_.back().file >= 0)
                shownFiles.push_back(static_cast<size_t>(blocks_.back().file));
        }
    }
    showGroup(shown);
    return shownFiles;
}

void ResultList::addSummary(const std::vector<std::string>& lines, const std::string& folder)
{
    Block block;
    block.lines = lines;
    block.folder = folder;
    blocks_.push_back(std::move(block));
    if (passes(blocks_.back()))
        show(blocks_.size() - 1);
}

void ResultList::setFilter(const std::string& text, bool problemsOnly)
{
    if (text == text_ && problemsOnly == problemsOnly_)
        return;
    text_ = text;
    problemsOnly_ = problemsOnly;
    showAll();
}

bool ResultList::passes(const Block& block) const
{
    if (problemsOnly_ && block.file >= 0 && !files_[static_cast<size_t>(block.file)].hasProblem())
        return false;
    if (text_.empty())
        return true;
    return std::any_of(block.lines.begin(), block.lines.end(),
                       [&](const std::string& line) { return rpFindText(line.c_str(), text_.c_str()) != nullptr; });
}

void ResultList::show(size_t block)
{
    if (!list_)
        return;
    const std::vector<std::string>& lines = blocks_[block].lines;
    shown_.emplace_back(lines_, block);
    for (const std::string& line : lines)
        list_->addString(line.c_str());
    lines_ += static_cast<int>(lines.size());
    int width = list_->textWidth(lines);
    if (width > widest_) {
        widest_ = width;
        list_->setHorizontalExtent(widest_);
    }
}

void ResultList::showGroup(const std::vector<size_t>& blocks)
{
    if (!list_ || blocks.empty())
        return;
    int lines = 0, bytes = 0;
    std::vector<std::string> texts;
    for (size_t block : blocks) {
        for (const std::string& line : blocks_[block].lines) {
            ++lines;
            bytes += static_cast<int>(line.size()) + 1;
        }
    }
    list_->setRedraw(false);
    list_->initStorage(lines, bytes);
    for (size_t block : blocks) {
        const std::vector<std::string>& blockLines = blocks_[block].lines;
        shown_.emplace_back(lines_, block);
        for (const std::string& line : blockLines)
            list_->addString(line.c_str());
        lines_ += static_cast<int>(blockLines.size());
        texts.insert(texts.end(), blockLines.begin(), blockLines.end());
    }
    int width = list_->textWidth(texts);
    if (width > widest_) {
        widest_ = width;
        list_->setHorizontalExtent(widest_);
    }
    list_->setRedraw(true);
}

void ResultList::showAll()
{
    shown_.clear();
    lines_ = 0;
    widest_ = 0;
    if (!list_)
        return;
    list_->setRedraw(false);
    list_->resetContent();
    list_->setHorizontalExtent(0);
    std::vector<size_t> shown;
    for (size_t i = 0; i < blocks_.size(); ++i) {
        if (passes(blocks_[i]))
            shown.push_back(i);
    }
    showGroup(shown);
    list_->setRedraw(true);
}

const ResultList::Block* ResultList::blockAtLine(int line) const
{
    if (line < 0 || line >= lines_ || shown_.empty())
        return nullptr;
    auto after = std::upper_bound(shown_.begin(), shown_.end(), line,
                                  [](int wanted, const std::pair<int, size_t>& entry) { return wanted < entry.first; });
    return after == shown_.begin() ? nullptr : &blocks_[std::prev(after)->second];
}

std::vector<ListedFile> ResultList::shownFiles() const
{
    std::vector<ListedFile> shown;
    for (const auto& entry : shown_) {
        const Block& block = blocks_[entry.second];
        if (block.file >= 0)
            shown.push_back(files_[static_cast<size_t>(block.file)]);
    }
    return shown;
}

std::vector<std::vector<std::string>> ResultList::shownSummaries() const
{
    std::vector<std::vector<std::string>> shown;
    for (const auto& entry : shown_) {
        const Block& block = blocks_[entry.second];
        if (block.file < 0)
            shown.push_back(block.lines);
    }
    return shown;
}

const ListedFile* ResultList::lastShownFile() const
{
    for (auto entry = shown_.rbegin(); entry != shown_.rend(); ++entry) {
        const Block& block = blocks_[entry->second];
        if (block.file >= 0)
            return &files_[static_cast<size_t>(block.file)];
    }
    return nullptr;
}
