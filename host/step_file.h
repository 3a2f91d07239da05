// HostStep: a reader of STEP physical files (ISO 10303-21), the form IFC
// models are exchanged in.
//
// Reading is two steps. One pass over the whole text checks its syntax and
// indexes every entity instance (its number, type, place and line) without
// decoding it; an instance's parameters are decoded only when asked for. So a
// syntax fault anywhere is an error naming the line and the instance, while
// instances nobody asks for cost one scan and 24 bytes of index each.
//
// Every error is a StepError whose message starts with "FILE:LINE:" and,
// where there is one, names the instance ("#12=IFCCOLUMN").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace HostStep {

class StepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StepFile;
class Entity;

// The kinds of parameter a STEP file holds.
enum class Kind : std::uint8_t {
  Null,     // $: no value
  Derived,  // *: a value the subtype derives
  Integer,
  Real,
  String,
  Enum,    // .NAME.
  Binary,  // "0FF"
  Ref,     // #12
  List,    // ( ... )
  Typed,   // NAME(value), e.g. IFCLABEL('x')
};
const char* ToString(Kind kind);

namespace detail {
// A decoded parameter, as an Entity holds them.
struct Node {
  Kind kind = Kind::Null;
  std::uint32_t first = 0;  // lists and typed values: where their items start in the
                            // entity's list of children; references: the number
  std::uint32_t count = 0;  // lists and typed values: the number of items
  double number = 0;
  std::string_view text;  // strings (raw, without quotes), enums, binaries, type names
};
}  // namespace detail

// One parameter of a decoded entity instance; valid while its Entity lives.
// Reading it as what it is not is an error naming the instance and the
// attribute.
class Value {
 public:
  Kind GetKind() const;
  bool IsNull() const { return GetKind() == Kind::Null || GetKind() == Kind::Derived; }
  bool IsNumber() const { return GetKind() == Kind::Integer || GetKind() == Kind::Real; }
  // An integer or a real (a typed value is read through: IFCREAL(1.)).
  double Number() const;
  long long Integer() const;
  // The entity number of a reference.
  std::uint32_t Ref() const;
  // A string decoded to UTF-8 (the \X2\, \X\, \S\ and \P\ directives of the
  // format; bytes beyond ASCII written raw are taken as UTF-8 when they are,
  // as Latin-1 otherwise).
  std::string Text() const;
  // An enumeration's name without its dots, or a typed value's type name.
  std::string_view Name() const;
  // A typed value's inner value.
  Value Inner() const;
  // A list's items.
  std::size_t Size() const;
  Value operator[](std::size_t i) const;

  // "attribute 3" or "attribute 3, item 2", for messages.
  std::string Path() const;
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  friend class Entity;
  Value(const Entity* entity, std::uint32_t node, std::uint32_t attribute, int item)
      : entity_(entity), node_(node), attribute_(attribute), item_(item) {}
  const Entity* entity_;
  std::uint32_t node_;
  std::uint32_t attribute_;  // 0-based top-level attribute, for messages
  int item_;                 // -1 for the attribute itself
};

// One decoded entity instance.
class Entity {
 public:
  std::uint32_t Id() const { return id_; }
  std::string_view Type() const { return type_; }
  std::size_t Line() const { return line_; }
  // The number of its attributes.
  std::size_t Size() const;
  // Attribute i (0-based); asking past the last is an error naming both.
  Value operator[](std::size_t i) const;
  // "model.ifc:12: #5=IFCCOLUMN", the start of every message about it.
  std::string Where() const;
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  friend class StepFile;
  friend class Value;
  using Node = detail::Node;
  const StepFile* file_ = nullptr;
  std::uint32_t id_ = 0;
  std::string_view type_;
  std::size_t line_ = 0;
  std::vector<Node> nodes_;              // nodes_[0] is the list of attributes
  std::vector<std::uint32_t> children_;  // the items of each list, by node
};

class StepFile {
 public:
  // Reads a file; it must be a regular file. `source_name` names it in
  // messages (the path by default).
  static std::shared_ptr<const StepFile> Read(const std::string& path);
  // Parses text held in memory.
  static std::shared_ptr<const StepFile> Parse(std::string text, std::string source_name);

  // Whether `text` starts like a STEP physical file (after blanks and an
  // optional byte order mark).
  static bool LooksLikeStep(std::string_view text);

  const std::string& SourceName() const { return source_name_; }
  // The schema names of the header's FILE_SCHEMA, e.g. "IFC4".
  const std::vector<std::string>& Schemas() const { return schemas_; }
  std::size_t Size() const { return records_.size(); }
  // The size of the text read, bytes.
  std::size_t TextSize() const { return text_.size(); }

  ~StepFile();
  StepFile(const StepFile&) = delete;
  StepFile& operator=(const StepFile&) = delete;

  bool Has(std::uint32_t id) const { return Find(id) != kNone; }
  // The type of an instance ("IFCCOLUMN"); empty for a missing one and for
  // complex instances.
  std::string_view TypeOf(std::uint32_t id) const;
  // The numbers of the instances of one type (upper case), in file order.
  std::span<const std::uint32_t> OfType(std::string_view type) const;
  // Decodes an instance. A missing one is an error naming `from` (the
  // instance that refers to it) when given.
  Entity Get(std::uint32_t id, const Entity* from = nullptr) const;

  // The text position of a line, for messages: "model.ifc:12".
  std::string At(std::size_t line) const;

 private:
  static constexpr std::uint32_t kNone = 0xffffffffu;
  struct Record {
    std::uint64_t begin;  // the '(' of its parameters
    std::uint32_t id;
    std::uint32_t type;  // index into type_names_; kComplex for complex instances
    std::uint32_t length;
    std::uint32_t line;
  };
  static constexpr std::uint32_t kComplex = 0xffffffffu;

  std::uint32_t Find(std::uint32_t id) const;
  void Index();
  void BuildLookup();

  StepFile() = default;
  // The text: a file mapped into memory, or text handed to Parse.
  std::string_view text_;
  std::string owned_;
  void* mapping_ = nullptr;
  std::string source_name_;
  std::vector<std::string> schemas_;
  std::vector<Record> records_;
  std::vector<std::string_view> type_names_;
  std::vector<std::vector<std::uint32_t>> of_type_;  // instance ids by type
  std::unordered_map<std::string_view, std::uint32_t> type_index_;
  // id -> record: a table when the numbers are dense, a map otherwise.
  std::vector<std::uint32_t> dense_;
  std::unordered_map<std::uint32_t, std::uint32_t> sparse_;

  friend class Scanner;
};

// Decodes the raw text of a STEP string (between its quotes) to UTF-8. What
// is not a well-formed directive is kept as written.
std::string DecodeString(std::string_view raw);

}  // namespace HostStep
