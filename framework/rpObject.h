// rpObject: the root of every framework class. It keeps the object's class name, its last error
// code and its report threshold, and turns error codes into Japanese (Shift-JIS) texts.
// Ownership: rpObject owns nothing; `owner` tells subclasses whether the object itself acquired
// the system resource it wraps (and so must release it).
#ifndef RP_OBJECT_H
#define RP_OBJECT_H

// The diagnostic sink, printf-style, supplied by the application (and by the test programs,
// which record what they are given). The tool's own version discards everything.
void dbout(const char* format, ...);

class rpObject {
public:
    static constexpr int NameLength = 80;  // characters kept of a class name

    explicit rpObject(const char* className);
    virtual ~rpObject();

    virtual const char* name();
    virtual void name(const char* text);  // same as className
    // Text of lastError; also copied into dst when dst is not null (room for 29 bytes).
    virtual const char* errorString(char* dst);

    // Stores at most 80 characters of text as the object's name, padded with NULs.
    void className(const char* text);

    // Text for a code: from the error table, or "<<error: %d>>" formatted into one static buffer
    // that the next unknown code overwrites. Copied into dst when dst is not null.
    static const char* ErrorString(int code, char* dst);

    // Process-wide report threshold (initially 3).
    static int ResetViewError();
    static int ViewErrorLevel();
    static int ViewErrorLevel(int level);

    // This object's threshold: -1 means the process-wide one applies.
    int resetViewError();
    int viewErrorLevel();

    // Records code in lastError and returns it; reports it to dbout when level exceeds the
    // threshold. A null where reads "error". Code 0 clears the error without a report.
    int viewError(int code, const char* where, int level);
    // The same for code that has no object: reports only, records nothing.
    static int ViewError(int code, const char* where, int level);

    int viewLevel;                       // -1: use DisplayErrorLevel
    char objectName[NameLength + 1];     // always NUL-terminated at index 80
    bool owner;                          // the object acquired what it wraps and releases it
    int lastError;                       // last recorded error code, 0 for success

    static int DisplayErrorLevel;

    // One entry of the error-text table; the table ends with an entry whose text is null.
    struct ErrorText {
        int code;
        const char* text;
    };
    static const ErrorText ErrorTable[];
};

#endif
