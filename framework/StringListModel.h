#pragma once
// An ordered list of byte strings behind a list view. The strings are kept
// exactly as given, packed in one store; they are converted only to be shown,
// and a very long one shows only its beginning.

#include "ListFile.h"

#include <QAbstractListModel>
#include <string>
#include <string_view>

namespace quellora {

class TStringListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int Count() const { return int(items_.size()); }
    // A copy of the item; throws EListError "List index out of bounds (%d)".
    std::string Get(int index) const;
    const ByteStrings& Items() const { return items_; }

    void Add(std::string_view item);
    void Delete(int index);
    void Clear();
    void Assign(ByteStrings items);

    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void checkIndex(int index) const;

    ByteStrings items_;
};

} // namespace quellora
