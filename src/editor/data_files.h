#pragma once

#include <functional>
#include <string>

#include "document/document.h"
#include "files/datafile.h"

namespace kelvara {

// Where the editor's data files are read and written: files on disk for the desktop, what the
// page hands over in the browser.
class DataFiles {
  public:
    virtual ~DataFiles() = default;
    // Reads the file into doc; doc is changed only when the result is Loaded.
    virtual LoadStatus Load(const std::string& path, Document& doc) = 0;
    // Writes doc to path, keeping the old file whole when that fails.
    virtual bool Save(const std::string& path, const Document& doc) = 0;
    // Where the open dialog starts until a file has been chosen; empty for its own choice.
    virtual std::string StartFolder() const { return {}; }
    // Where the save dialog starts for a document that has no file yet (the user's documents,
    // never the program's own folder); empty for its own choice.
    virtual std::string SaveFolder() const { return {}; }
};

// Data files on disk (LoadDataFile, SaveDataFile). startFolder, asked at each open until a file
// has been chosen, names the folder of the examples that come with the program; saveFolder,
// asked at a save of a document without a file, the user's documents folder.
class DiskDataFiles final : public DataFiles {
  public:
    explicit DiskDataFiles(std::function<std::string()> startFolder = {},
                           std::function<std::string()> saveFolder = {})
        : startFolder_(std::move(startFolder)), saveFolder_(std::move(saveFolder)) {}

    LoadStatus Load(const std::string& path, Document& doc) override {
        return LoadDataFile(path, doc);
    }
    bool Save(const std::string& path, const Document& doc) override {
        return SaveDataFile(path, doc);
    }
    std::string StartFolder() const override { return startFolder_ ? startFolder_() : ""; }
    std::string SaveFolder() const override { return saveFolder_ ? saveFolder_() : ""; }

  private:
    std::function<std::string()> startFolder_;
    std::function<std::string()> saveFolder_;
};

}  // namespace kelvara
