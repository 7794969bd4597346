// ResultList: the list's record and the view of it that the list box shows. The record holds
// every block the list received since it was last cleared, whole: each file's block with what is
// known of the file (ListedFile), and each folder's summary block. The list box shows the blocks
// that pass the filter, in record order, and scrolls sideways as far as its widest shown line.
// Copy and Save read the list box, so they take what it shows.
// Ownership: owns the record; the list box object is not owned (it belongs to its window).
#ifndef INSPECTOR_RESULT_LIST_H
#define INSPECTOR_RESULT_LIST_H

#include "listReport.h"
#include "rpListBox.h"

#include <string>
#include <utility>
#include <vector>

class ResultList {
public:
    // One block of the record.
    struct Block {
        std::vector<std::string> lines;
        int file = -1;       // its index in files(); -1 for a folder's summary
        std::string folder;  // a summary's folder as it names it
    };

    ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // The list box that shows the view; null: none yet (nothing is shown).
    void attach(rpListBox* list) { list_ = list; }

    // Empties the record and the list box.
    void clear();
    // A block that arrived: a file's or a folder's summary.
    struct NewBlock {
        std::vector<std::string> lines;
        ListedFile file;     // for a file's block
        bool isSummary = false;
        std::string folder;  // for a summary
    };
    // Adds blocks that arrived together (files and summaries in list order) in one go: room for
    // their lines is reserved first and the list is redrawn once, not once per line or block.
    // Returns the places in files() of the files among them that are shown, in order.
    std::vector<size_t> addBlocks(std::vector<NewBlock>& blocks);
    // Adds a folder's summary block (folder: as BatchFolder::shown), and shows it when it
    // passes the filter.
    void addSummary(const std::vector<std::string>& lines, const std::string& folder);

    // Shows the blocks that have a line containing `text` (rpFindText: ASCII letters in either
    // case, double-byte characters whole; empty: every block) and, with problemsOnly, only the
    // blocks of files with a problem (ListedFile::hasProblem: a failed load, an abnormal end, a
    // missing answer, a finding of the validation); folder summaries count as blocks for the text and always pass
    // problemsOnly. The list is shown anew when the filter changes.
    void setFilter(const std::string& text, bool problemsOnly);
    bool filtered() const { return !text_.empty() || problemsOnly_; }

    const std::vector<ListedFile>& files() const { return files_; }
    const std::vector<Block>& blocks() const { return blocks_; }
    // The block that list line `line` shows, or null.
    const Block* blockAtLine(int line) const;
    // What the list shows: the files of its file blocks, and its summary blocks, in list order.
    std::vector<ListedFile> shownFiles() const;
    std::vector<std::vector<std::string>> shownSummaries() const;
    // The file of the last file block shown, or null.
    const ListedFile* lastShownFile() const;

private:
    bool passes(const Block& block) const;
    // Adds the block's lines to the list box and widens its horizontal extent to them.
    void show(size_t block);
    // Adds the blocks' lines to the list box with room reserved for them, and widens its
    // horizontal extent to them, measuring them all at once.
    void showGroup(const std::vector<size_t>& blocks);
    // The list box anew from the record.
    void showAll();

    rpListBox* list_ = nullptr;  // not owned
    std::vector<ListedFile> files_;
    std::vector<Block> blocks_;
    std::vector<std::pair<int, size_t>> shown_;  // first list line, block index, in list order
    int lines_ = 0;                              // lines the list box shows
    int widest_ = 0;                             // the horizontal extent set, in pixels
    std::string text_;
    bool problemsOnly_ = false;
};

#endif
