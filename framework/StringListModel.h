#pragma once
// An ordered list of byte strings behind a list view. The strings are kept
// exactly as given; they are converted only to be shown.

#include "ListFile.h"

#include <QAbstractListModel>
#include <string>

namespace quellora {

class TStringListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int Count() const { return int(items_.size()); }
    // Throws EListError "List index out of bounds (%d)".
    const std::string& Get(int index) const;
    const ByteStrings& Items() const { return items_; }

    void Add(std::string item);
    void Delete(int index);
    void Clear();
    void Assign(ByteStrings items);

    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ByteStrings items_;
};

} // namespace quellora
