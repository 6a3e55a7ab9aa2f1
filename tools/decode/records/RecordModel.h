#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "collect/CollectionPlan.h"
#include "platform/Result.h"

namespace qrx {

// The records of a data file as the program wrote them, placed by the collection plan: the
// program writes the properties of one instance after another in the order of its plan,
// without a separator, and the values of an array one record each.

// One record placed in its class and instance.
struct PlacedRecord {
    enum class Kind { Header, Value };
    Kind kind = Kind::Value;
    std::size_t line = 0;
    std::string_view text;  // the whole record (masked when masking is on)
    bool unencrypted = false;
    std::string_view className;  // the class it belongs to; empty before the first header
    std::string_view property;   // a value's property and value
    std::string_view value;
    const PlannedProperty* planned = nullptr;  // the value's property in the plan
    bool newInstance = false;                  // a value that begins an instance
    bool unknown = false;  // a class or property that the plan does not know (a newer program)
};

// How the outputs mark a class or property that this decoder does not know.
inline constexpr std::string_view kUnknownMark = "(未知) ";
// What the pages say of a file that holds such records.
inline constexpr const char* kNewerProgram =
    "このデコーダーの知らないクラスかプロパティの記録があります。新しいプログラムが書いたファイル"
    "かもしれません";

// Places records one by one. A value record belongs to the class of the last header; one whose
// property comes at or before the previous record's place in the class's plan begins a new
// instance, except a repeat of a multi-valued property. Records before the first header form a
// class without a name. A class or property that the plan does not hold, in the shape the
// program writes, is placed as unknown: a property in the instance it comes in (unless it came
// in that instance already), a class with instances of its own, which begin where a property
// comes again. Another class's property in a known class (its header lost), and records after
// a header with a name WMI would not give, are not placed: Place gives the reason.
class RecordPlacer {
  public:
    void BeginFile();
    // A line that has the shape of a class header but no name that WMI would give: the records
    // after it belong to no class until the next header.
    void UnknownClass(std::string_view name);
    // Places a record that the line decoder accepted; on success `out` is filled and its views
    // point into `text`, else the reason is returned.
    Done Place(std::string_view text, bool unencrypted, std::size_t line, PlacedRecord& out);

  private:
    // Whether a property that comes again (not right after itself) begins an instance.
    bool Again(std::string_view property, bool repeats);

    enum class State { BeforeHeader, InClass, InUnknownClass, InNewerClass };
    State state_ = State::BeforeHeader;
    const PlannedClass* class_ = nullptr;
    std::string unknown_;
    int lastPlace_ = -1;
    bool open_ = false;  // an instance of the class has begun
    // Before the first header and in a class the plan does not know: the properties of the
    // current instance; in a known class its unknown properties.
    std::vector<std::string> seen_;
    std::string last_;
};

struct Property {
    std::string name;
    std::vector<std::string> values;
    bool multiValued = false;  // shown as an array even with one value
    bool unknown = false;      // not in the plan of its class
};

// The property's name, marked when the plan does not know it.
inline std::string Marked(const Property& p) {
    return p.unknown ? std::string(kUnknownMark) + p.name : p.name;
}

struct Instance {
    std::vector<Property> properties;
    const Property* Find(std::string_view name) const;
};

struct ClassRecords {
    std::string name;  // empty for records before the first class header
    std::vector<Instance> instances;
    std::vector<std::string> unencrypted;  // records that were stored without encryption
    bool unknown = false;                  // a class that the plan does not know
};

struct LineFailure {
    std::size_t line = 0;  // 0: the file as a whole (it could not be opened or read)
    std::string reason;
};

struct Collection {
    std::string file;
    std::vector<ClassRecords> classes;
    std::vector<LineFailure> failures;
};

// Whether a collection holds a class or property that the plan does not know.
bool HasUnknown(const Collection& c);

// Builds the classes of one file from placed records and hands over each class when the next
// one begins. When `partBytes` is given, a class whose memory grows beyond it is handed over in
// parts of the same name, each beginning with an instance, so that memory stays bounded.
class ClassBuilder {
  public:
    using Sink = std::function<void(ClassRecords&&, std::size_t bytes)>;
    explicit ClassBuilder(Sink sink, std::size_t partBytes = 0)
        : sink_(std::move(sink)), partBytes_(partBytes) {}

    void Add(const PlacedRecord& record);
    void Finish();
    // About what the class being built holds in memory.
    std::size_t Bytes() const { return bytes_; }

  private:
    void Flush();

    Sink sink_;
    std::size_t partBytes_;
    ClassRecords class_;
    bool open_ = false;
    std::size_t bytes_ = 0;  // about what the class holds in memory
};

// All instances of one class in a file, in file order, even when its header came more than once
// (a single-category command appends to the file of the last run).
struct ClassView {
    std::string name;
    std::vector<const Instance*> instances;
    bool unknown = false;
};
std::vector<ClassView> ByClass(const Collection& c);

// A value of a property marked `indexed` without the "[00000001] " that the system puts in
// front; other values unchanged.
std::string_view WithoutIndex(std::string_view value);

}  // namespace qrx
