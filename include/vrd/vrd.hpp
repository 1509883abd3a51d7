/// @file vrd.hpp
/// @brief C++17 layer over the C interface: store owners, value types, results.
///
/// Everything here is inline over the C routines and adds no state to the
/// library beyond a forwarding error handler installed for the length of a
/// call.  It needs no exceptions and no RTTI; the only allocation it makes is
/// the copy of a `std::string_view` argument into a zero-terminated text
/// (see vrd::Text).  It uses internal operations (store killing, the file
/// routines), so a host links the complete library: `vrd::vrd_full` or
/// `vrd::vrd_static` from CMake, `vrd-full` or `vrd-static` from pkg-config.
///
/// The C interface's rules hold unchanged: every call works on the current
/// store, one thread at a time, and texts and entity lists read from the
/// library stay valid only until their pool or list next changes.
#ifndef VRD_VRD_HPP
#define VRD_VRD_HPP

#if !defined(__cplusplus) || __cplusplus < 201703L
#error "vrd.hpp needs C++17; C hosts include vrd.h"
#endif

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "vrd_internal.h"

namespace vrd {

/// The position that appends when adding and names the last entity when
/// reading or deleting: -1 as an unsigned position.
inline constexpr uint32_t atEnd = 0xFFFFFFFFu;

/// What an entity holds (see VRDkind).
enum class Kind {
    none = VRD_KIND_NONE,          ///< the null entity, or a tag that carries no value
    bigInt = VRD_KIND_BIGINT,      ///< an integer of the big-integer pool
    smallInt = VRD_KIND_SMALLINT,  ///< an integer held in the entity itself
    string = VRD_KIND_STRING,      ///< a string
    id = VRD_KIND_ID,              ///< an identifier
    real = VRD_KIND_REAL,          ///< a real
    point = VRD_KIND_POINT,        ///< a point
    form = VRD_KIND_FORM           ///< a form
};

/// The message of an error code (of its absolute value), e.g. "Bad form".
inline std::string_view message(int code) noexcept { return VRDerrorMessage(code); }

/// The outcome of a call: success, or the first report the library made
/// during it, with the routine name the error handler received.
class Status {
public:
    /// Success.
    Status() noexcept = default;
    /// A failure reported by `routine` with `code`.
    Status(const char *routine, int code) noexcept : routine_(routine), code_(code) {}

    /// True when the call succeeded.
    explicit operator bool() const noexcept { return code_ == VRD_OK; }
    /// The reported code, VRD_OK on success, VRD_E_UNKNOWN when the call
    /// failed without a report (a store name already taken, for one).
    int code() const noexcept { return code_; }
    /// The routine name the error handler received.  For a failure the
    /// library does not report (a channel that cannot be opened or flushed, a
    /// text that holds no form) the routine or layer that failed; empty on
    /// success.
    std::string_view routine() const noexcept { return routine_ ? routine_ : ""; }
    /// The message of the code ("No error" on success).
    std::string_view message() const noexcept { return vrd::message(code_); }
    /// Line and column (from 1) where a text reader met its first report;
    /// 0 and 0 for other calls.
    long line() const noexcept { return line_; }
    /// See line().
    long column() const noexcept { return column_; }

    /// Records the place a reading call failed at.
    void setPlace(long line, long column) noexcept { line_ = line, column_ = column; }

private:
    const char *routine_ = nullptr;
    int code_ = VRD_OK;
    long line_ = 0;
    long column_ = 0;
};

/// A value together with the Status of the call that made it.  On failure the
/// value is what the call left (often the null entity, but a text reader that
/// stopped at an error still gives the form it had read so far).
template <class T>
class Result : public Status {
public:
    /// A success holding `value`.
    Result(T value) : value_(std::move(value)) {}
    /// What a call left, with its status.
    Result(T value, Status status) : Status(status), value_(std::move(value)) {}

    /// The value (what the call left when it failed).
    const T &value() const & noexcept { return value_; }
    /// The value, moved out.
    T &&value() && noexcept { return std::move(value_); }
    /// The value.
    const T &operator*() const noexcept { return value_; }
    /// A member of the value.
    const T *operator->() const noexcept { return &value_; }

private:
    T value_;
};

/// @cond VRD_PRIVATE
namespace detail {

// Collects the first report made while it lives and forwards every report to
// the handler the host had installed, so the host sees exactly what it would
// without the watch.  Watches nest; the innermost installed last is `active`.
class ReportWatch {
public:
    explicit ReportWatch(TextChannel *channel = nullptr) noexcept
        : channel_(channel), outer_(active()), previous_(VRDerrorHandler(&ReportWatch::onReport)) {
        active() = this;
    }
    ~ReportWatch() {
        active() = outer_;
        VRDerrorHandler(previous_);
    }
    ReportWatch(const ReportWatch &) = delete;
    ReportWatch &operator=(const ReportWatch &) = delete;

    // Success, or the first report seen; `failed` stands for a failure value
    // returned without any report.
    Status status(bool failed) const noexcept {
        if (first_.code() == VRD_OK && failed) return Status("", VRD_E_UNKNOWN);
        return first_;
    }

private:
    static ReportWatch *&active() noexcept {
        static ReportWatch *watch = nullptr;
        return watch;
    }

    static void VRD_CALL onReport(const char *routine, int code) {
        for (ReportWatch *watch = active(); watch != nullptr; watch = watch->outer_) {
            if (watch->first_.code() == VRD_OK) {
                watch->first_ = Status(routine, code);
                long line = 0, column = 0;
                if (watch->channel_ != nullptr && textChannelPosition(watch->channel_, &line, &column) == 0)
                    watch->first_.setPlace(line, column);
            }
            // The outer watch's handler is this function: let the loop reach
            // it instead of calling it, which would start again from `active`.
            if (watch->previous_ != &ReportWatch::onReport) {
                if (watch->previous_ != nullptr) watch->previous_(routine, code);
                return;
            }
        }
    }

    TextChannel *channel_;
    ReportWatch *outer_;
    VRDerrorHandlerProc previous_;
    Status first_;
};

}  // namespace detail
/// @endcond

/// A zero-terminated text for the C routines, made from what a C++ host has
/// at hand.  A `const char *` or a `std::string` is passed on as it is; a
/// `std::string_view` is copied (it need not end with a zero byte).  The
/// library's texts end at their first zero byte, so a view holding one is
/// read up to there.  Meant as a parameter type: it lives as long as the call.
class Text {
public:
    /// A zero-terminated text, passed on; null stands for the empty text.
    Text(const char *text) noexcept : pointer_(text != nullptr ? text : "") {}
    /// A string's own zero-terminated text, passed on.
    Text(const std::string &text) noexcept : pointer_(text.c_str()) {}
    /// A view, copied with a zero byte after it.
    Text(std::string_view text) : copy_(text), pointer_(copy_.c_str()) {}
    Text(const Text &) = delete;
    Text &operator=(const Text &) = delete;

    /// The zero-terminated text.
    const char *c_str() const noexcept { return pointer_; }

private:
    std::string copy_;
    const char *pointer_;
};

class Form;

/// An entity as a value: two words, compared word by word.  It converts to
/// and from VRDentity, so it goes wherever the C interface takes one.
class Entity {
public:
    /// The null entity.
    constexpr Entity() noexcept : words_{0, 0} {}
    /// The entity of these words.
    constexpr Entity(VRDentity words) noexcept : words_(words) {}
    /// The words, for the C routines.
    constexpr operator VRDentity() const noexcept { return words_; }
    /// The words.
    constexpr VRDentity words() const noexcept { return words_; }

    /// What the entity holds.
    Kind kind() const noexcept { return static_cast<Kind>(VRDentityGetKind(words_)); }
    /// True for the null entity (0, 0).
    constexpr bool isNull() const noexcept { return words_.first == 0 && words_.second == 0; }
    /// True when the entity has a kind tag (see VRDentityHasValue).
    bool hasValue() const noexcept { return VRDentityHasValue(words_) != 0; }
    /// True for a form entity.
    bool isForm() const noexcept { return VRDentityIsForm(words_) != 0; }
    /// True for a point entity.
    bool isPoint() const noexcept { return VRDentityIsPoint(words_) != 0; }

    /// The integer of an integer entity, small or big; nothing for other kinds
    /// or a big integer whose index the pool refuses.
    std::optional<int32_t> toInt() const noexcept {
        switch (kind()) {
        case Kind::smallInt: return VRDentityGetSmallInt(words_);
        case Kind::bigInt: {
            detail::ReportWatch watch;
            int32_t value = VRDintGetValue(words_);
            if (watch.status(false)) return value;
            return std::nullopt;
        }
        default: return std::nullopt;
        }
    }
    /// The real of a real entity; nothing for other kinds or a refused index.
    std::optional<double> toReal() const noexcept {
        if (kind() != Kind::real) return std::nullopt;
        detail::ReportWatch watch;
        double value = VRDrealGetValue(words_);
        if (watch.status(false)) return value;
        return std::nullopt;
    }
    /// Both coordinates of a point entity; nothing for other kinds.
    std::optional<VRDpoint> toPoint() const noexcept {
        if (!isPoint()) return std::nullopt;
        return VRDpointGetValue(words_);
    }
    /// The text of a string or identifier entity, valid until the string
    /// area next grows; nothing for other kinds or a refused offset.
    std::optional<std::string_view> text() const noexcept {
        if (kind() != Kind::string && kind() != Kind::id) return std::nullopt;
        const char *text = VRDstringGetPtrValue(words_);
        if (text == nullptr) return std::nullopt;
        return std::string_view(text);
    }
    /// The entity as a Form; the null form when it is not a form.
    Form toForm() const noexcept;

    /// The entity of an integer in the current store.
    static Result<Entity> integer(int32_t value) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDintCreate(value, e); });
    }
    /// The entity of a real in the current store.
    static Result<Entity> real(double value) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDrealCreate(value, e); });
    }
    /// The entity of a point in the current store.
    static Result<Entity> point(int32_t x, int32_t y) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDpointCreate(x, y, e); });
    }
    /// The string entity of a text in the current store.
    static Result<Entity> string(const Text &text) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDstringCreate(text.c_str(), e); });
    }
    /// The identifier entity of a text in the current store.
    static Result<Entity> id(const Text &text) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDidCreate(text.c_str(), e); });
    }

    /// Word equality, the equality of every search of the library.
    friend constexpr bool operator==(Entity a, Entity b) noexcept {
        return a.words_.first == b.words_.first && a.words_.second == b.words_.second;
    }
    /// Word inequality.
    friend constexpr bool operator!=(Entity a, Entity b) noexcept { return !(a == b); }

protected:
    /// Runs a creating call that stores an entity and returns 0 on success.
    template <class Call>
    static Result<Entity> makeEntity(Call call) noexcept {
        detail::ReportWatch watch;
        VRDentity made{0, 0};
        int status = static_cast<int>(call(&made));
        return Result<Entity>(Entity(made), watch.status(status != 0));
    }

private:
    VRDentity words_;
};

/// The entities of a form's list, in order, for range-for.  Each step reads
/// the list afresh, so a loop body may add or delete entities of the form:
/// the loop then goes on over the list as it is and never reads a stale copy.
class EntityList {
public:
    /// Marks the end of the list: an iterator reaches it at the form's count.
    struct Sentinel {};

    /// Walks the list by position.
    class Iterator {
    public:
        /// Position `position` of the list of `form`.
        Iterator(VRDentity form, uint32_t position) noexcept : form_(form), position_(position) {}
        /// The entity at the position.
        Entity operator*() const noexcept { return VRDformGetEntity(form_, position_); }
        /// The next position.
        Iterator &operator++() noexcept {
            ++position_;
            return *this;
        }
        /// The position in the list.
        uint32_t position() const noexcept { return position_; }
        /// True while the position is inside the list as it is now.
        friend bool operator!=(const Iterator &it, Sentinel) noexcept {
            return it.position_ < VRDformEntityCount(it.form_);
        }
        /// False while the position is inside the list as it is now.
        friend bool operator==(const Iterator &it, Sentinel end) noexcept { return !(it != end); }

    private:
        VRDentity form_;
        uint32_t position_;
    };

    /// The list of `form`.
    explicit EntityList(VRDentity form) noexcept : form_(form) {}
    /// The first position.
    Iterator begin() const noexcept { return Iterator(form_, 0); }
    /// The end, wherever the list ends when it is reached.
    Sentinel end() const noexcept { return Sentinel{}; }
    /// The number of entities now.
    uint32_t size() const noexcept { return VRDformEntityCount(form_); }
    /// True when the list is empty (or the form cannot be resolved).
    bool empty() const noexcept { return size() == 0; }
    /// The entity at `position` (atEnd: the last), or the null entity.
    Entity operator[](uint32_t position) const noexcept { return VRDformGetEntity(form_, position); }

private:
    VRDentity form_;
};

/// A form entity with the operations on its list, owner and properties.  A
/// default Form is the null entity; calls on it fail as the C routines do.
class Form : public Entity {
public:
    /// The null form.
    constexpr Form() noexcept = default;
    /// The form of these words (a form entity, or null).
    constexpr explicit Form(VRDentity words) noexcept : Entity(words) {}

    /// Creates a form of `keyword` (filed on first use) owned by `owner`.
    static Result<Form> create(const Text &keyword, Entity owner = Entity()) noexcept {
        return makeForm([&](VRDentity *f) { return VRDformCreate(owner, VRD_NO_KEY, keyword.c_str(), f); });
    }
    /// Creates a form of an existing `key` owned by `owner`.
    static Result<Form> create(uint32_t key, Entity owner = Entity()) noexcept {
        return makeForm([&](VRDentity *f) { return VRDformCreate(owner, key, nullptr, f); });
    }

    /// The key (VRD_NO_KEY for the null form).
    uint32_t key() const noexcept { return VRDformGetKey(words()); }
    /// The keyword text, valid until the keyword table grows; empty when the
    /// form cannot be resolved.
    std::string_view keyword() const noexcept {
        const char *keyword = VRDformGetPtrKeyword(words());
        return keyword != nullptr ? std::string_view(keyword) : std::string_view();
    }
    /// True when the form is killed or cannot be resolved.
    bool killed() const noexcept { return VRDformIsKilled(words()) != 0; }
    /// The owner, or the null form.
    Form owner() const noexcept { return Form(VRDformGetOwner(words())); }
    /// Replaces the owner (the lists stay as they are).
    Status setOwner(Entity owner) noexcept {
        return run([&] { return VRDformSetOwner(words(), owner); });
    }

    /// The list, for range-for.
    EntityList entities() const noexcept { return EntityList(words()); }
    /// The number of entities.
    uint32_t size() const noexcept { return VRDformEntityCount(words()); }
    /// The entity at `position` (atEnd: the last), or the null entity.
    Entity operator[](uint32_t position) const noexcept { return VRDformGetEntity(words(), position); }
    /// The position of the first entity equal to `value`, or nothing.
    std::optional<uint32_t> find(Entity value) const noexcept {
        int32_t position = VRDentityGetPosition(words(), value);
        if (position < 0) return std::nullopt;
        return static_cast<uint32_t>(position);
    }

    /// Inserts `value` before `position` (atEnd appends).
    Status add(Entity value, uint32_t position = atEnd) noexcept {
        VRDentity one = value;
        return run([&] { return VRDformAddEntities(words(), position, 1, &one); });
    }
    /// Makes an integer entity and inserts it.
    Result<Entity> addInt(int32_t value, uint32_t position = atEnd) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDformAddInt(words(), position, value, e); });
    }
    /// Makes a real entity and inserts it.
    Result<Entity> addReal(double value, uint32_t position = atEnd) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDformAddReal(position, e, words(), value); });
    }
    /// Makes a string entity and inserts it.
    Result<Entity> addString(const Text &text, uint32_t position = atEnd) noexcept {
        return makeEntity([&](VRDentity *e) { return VRDformAddString(words(), position, text.c_str(), e); });
    }
    /// Creates a form of `keyword` owned by this one and inserts it.
    Result<Form> addForm(const Text &keyword, uint32_t position = atEnd) noexcept {
        return makeForm([&](VRDentity *f) { return VRDformAddForm(words(), position, VRD_NO_KEY, keyword.c_str(), f); });
    }
    /// Replaces the entity at `position`.
    Status set(uint32_t position, Entity value) noexcept {
        return run([&] { return VRDformSetEntity(words(), position, value); });
    }
    /// Removes `count` entities from `position` (atEnd: the last).
    Status erase(uint32_t position, uint32_t count = 1) noexcept {
        return run([&] { return VRDformDeleteEntities(words(), position, count); });
    }
    /// Empties the list; owner, properties and listed forms stay.
    Status clear() noexcept {
        return run([&] { return VRDformClear(words()); });
    }
    /// Kills the form; `recurse` also kills the forms it lists, `unlink`
    /// removes it from its owner's list.
    Status kill(bool recurse = true, bool unlink = true) noexcept {
        return run([&] { return VRDformKill(words(), recurse ? 1 : 0, unlink ? 1 : 0); });
    }

    /// Property `name`, or nothing when the form has none of that name (or
    /// cannot be resolved).
    std::optional<int32_t> property(int32_t name) const noexcept {
        int32_t value = VRDformGetProperty(words(), name);
        if (value == VRD_NO_INT) return std::nullopt;
        return value;
    }
    /// Sets property `name` to `value`.
    Status setProperty(int32_t name, int32_t value) noexcept {
        return run([&] { return VRDformSetProperty(words(), name, value); });
    }

private:
    template <class Call>
    static Result<Form> makeForm(Call call) noexcept {
        detail::ReportWatch watch;
        VRDentity made{0, 0};
        int status = call(&made);
        return Result<Form>(Form(made), watch.status(status != 0));
    }
    template <class Call>
    static Status run(Call call) noexcept {
        detail::ReportWatch watch;
        int status = call();
        return watch.status(status != 0);
    }
};

inline Form Entity::toForm() const noexcept { return isForm() ? Form(words_) : Form(); }

/// Owns a store: creates it (making it current) and kills it when the owner
/// goes.  Move-only; a moved-from or failed owner holds no store.
class Store {
public:
    /// Holds no store.
    Store() noexcept = default;
    /// Creates the store `name` (at most 31 characters) and makes it current;
    /// holds no store when the name is taken, too long or memory is short.
    explicit Store(const Text &name) noexcept : store_(VRDnew(name.c_str())) {}
    /// Takes over the other owner's store.
    Store(Store &&other) noexcept : store_(std::exchange(other.store_, nullptr)) {}
    /// Kills the store held, then takes over the other owner's.
    Store &operator=(Store &&other) noexcept {
        if (this != &other) {
            reset();
            store_ = std::exchange(other.store_, nullptr);
        }
        return *this;
    }
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;
    /// Kills the store held.
    ~Store() { reset(); }

    /// True when a store is held.
    explicit operator bool() const noexcept { return store_ != nullptr; }
    /// The handle, for the C routines.
    VRDstore *get() const noexcept { return store_; }
    /// True when the store held is the current store.
    bool isCurrent() const noexcept { return store_ != nullptr && VRDget(nullptr) == store_; }
    /// Makes the store held current.
    Status makeCurrent() const noexcept {
        detail::ReportWatch watch;
        int status = store_ != nullptr ? VRDset(store_, nullptr) : 1;
        return watch.status(status != 0);
    }
    /// Gives up the store without killing it.
    VRDstore *release() noexcept { return std::exchange(store_, nullptr); }
    /// Kills the store held, if any.  When it was current, the first store
    /// left in the list becomes current (none when it was the only one).
    void reset() noexcept {
        if (store_ != nullptr) VRDkill(std::exchange(store_, nullptr), nullptr);
    }

private:
    VRDstore *store_ = nullptr;
};

/// Owns a text channel and closes it when the owner goes.  Call close() to
/// learn whether everything written reached its destination.
class TextFile {
public:
    /// Holds no channel.
    TextFile() noexcept = default;
    /// Opens a file for reading ("r") or writing ("w", truncating).
    static TextFile open(const Text &path, const Text &mode) noexcept {
        return TextFile(openTextFile(path.c_str(), mode.c_str()));
    }
    /// Opens a reading channel over `text`, which is not copied: it must
    /// outlive the channel.
    static TextFile reading(std::string_view text) noexcept {
        return TextFile(openTextString(text.data(), text.size()));
    }
    /// Opens a writing channel into a growing memory buffer.
    static TextFile buffer() noexcept { return TextFile(openTextBuffer()); }

    /// Takes over the other owner's channel.
    TextFile(TextFile &&other) noexcept : channel_(std::exchange(other.channel_, nullptr)) {}
    /// Closes the channel held, then takes over the other owner's.
    TextFile &operator=(TextFile &&other) noexcept {
        if (this != &other) {
            close();
            channel_ = std::exchange(other.channel_, nullptr);
        }
        return *this;
    }
    TextFile(const TextFile &) = delete;
    TextFile &operator=(const TextFile &) = delete;
    /// Closes the channel held; a failure to flush goes unseen here.
    ~TextFile() { close(); }

    /// True when a channel is held.
    explicit operator bool() const noexcept { return channel_ != nullptr; }
    /// The channel, for the C routines.
    TextChannel *get() const noexcept { return channel_; }
    /// What a buffer channel holds so far, valid until its next write or its
    /// close; empty for other channels.
    std::string_view contents() const noexcept {
        size_t length = 0;
        const char *data = channel_ != nullptr ? textBufferData(channel_, &length) : nullptr;
        return data != nullptr ? std::string_view(data, length) : std::string_view();
    }
    /// Flushes and closes; true when everything reached its destination (and
    /// when no channel was held).
    bool close() noexcept {
        if (channel_ == nullptr) return true;
        return closeTextFile(std::exchange(channel_, nullptr)) == 0;
    }

private:
    explicit TextFile(TextChannel *channel) noexcept : channel_(channel) {}
    TextChannel *channel_ = nullptr;
};

/// Reads one form (or, into a `target` form, a run of entities inserted at
/// `position`) from the channel into the current store.  The value is the
/// form read (the first entity placed, into a target); on failure the Status
/// holds the reader's first report and where in the text it was met, and the
/// value what was read before it.
inline Result<Entity> readEntity(TextFile &file, Entity target = Entity(), int32_t position = -1,
                                 int32_t caseFlags = 0) noexcept {
    if (!file) return Result<Entity>(Entity(), Status("openTextFile", VRD_E_OPEN));
    detail::ReportWatch watch(file.get());
    VRDentity read{0, 0};
    int32_t status = VRDfileReadEntity(file.get(), target, position, caseFlags, &read);
    return Result<Entity>(Entity(read), watch.status(status != 0));
}

/// Reads the form that `text` holds into the current store.
inline Result<Form> readForm(std::string_view text, int32_t caseFlags = 0) noexcept {
    TextFile file = TextFile::reading(text);
    Result<Entity> read = readEntity(file, Entity(), -1, caseFlags);
    Status status = read;
    if (status && !read->isForm()) status = Status("vrd::readForm", VRD_E_BADFORM);
    return Result<Form>(read->toForm(), status);
}

/// Writes an entity (as a rule a form tree) in the text notation: every form
/// on a new line, indented by one space per depth level when `indent` is set.
/// The channel's close() tells whether the bytes reached their destination.
inline void writeEntity(TextFile &file, Entity entity, int32_t caseFlags = 0, bool indent = true) noexcept {
    if (file) VRDfileWriteEntity(file.get(), caseFlags, entity, indent ? 1 : 0);
}

/// The text notation of an entity, as writeEntity lays it out (it begins
/// with a line feed).
inline Result<std::string> toText(Entity entity, int32_t caseFlags = 0, bool indent = true) {
    TextFile file = TextFile::buffer();
    if (!file) return Result<std::string>(std::string(), Status("openTextBuffer", VRD_E_NOMEM));
    writeEntity(file, entity, caseFlags, indent);
    std::string text(file.contents());
    if (!file.close()) return Result<std::string>(std::string(), Status("closeTextFile", VRD_E_NOMEM));
    return Result<std::string>(std::move(text));
}

/// Dumps the current store to a binary file.
inline Status writeBinary(const Text &path) noexcept {
    detail::ReportWatch watch;
    int32_t status = VRDfileWriteBinary(path.c_str());
    return watch.status(status != 0);
}

/// Replaces the current store's contents with a binary file's.
inline Status readBinary(const Text &path) noexcept {
    detail::ReportWatch watch;
    int32_t status = VRDfileReadBinary(path.c_str());
    return watch.status(status != 0);
}

}  // namespace vrd

#endif  // VRD_VRD_HPP
