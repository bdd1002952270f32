/* Parameter tree: reads an IBIS-AMI parameter string onto a declared tree of
 * typed defaults, writes a tree back as a parameter string, and builds the
 * message text that the models hand to the simulator. */
#ifndef IBIS_AMI_TREE_H
#define IBIS_AMI_TREE_H

#include "ami_export.h"

AMI_BEGIN_C

/* ---- Type codes of a tree entry ------------------------------------------ */
#define AMI_DOUBLE 0       /* double, in place; read "%lf", written "%g"    */
#define AMI_LONG 1         /* long, in place; read "%li", written "%ld"     */
#define AMI_INT 2          /* int, in place; read "%i", written "%d"        */
#define AMI_SHORT 3        /* short, in place; read "%hi", written "%hd"    */
#define AMI_CHAR 4         /* char, in place; the token's first character   */
#define AMI_DOUBLE_ARRAY 5 /* AmiArray of double                            */
#define AMI_LONG_ARRAY 6   /* AmiArray of long                              */
#define AMI_INT_ARRAY 7    /* AmiArray of int                               */
#define AMI_SHORT_ARRAY 8  /* AmiArray of short                             */
#define AMI_STRING 9       /* heap text (or null), written inside quotes    */
#define AMI_TREE 10        /* a branch: an AmiTree of child entries         */

/* ---- Token classes returned by the lexer for each character -------------- */
#define AMI_OPEN 0  /* "("                                     */
#define AMI_TEXT 1  /* a character of a word or quoted value   */
#define AMI_SPACE 2 /* white space; also the class before the first character */
#define AMI_CLOSE 3 /* ")"                                     */

/* ---- Parser states --------------------------------------------------------- */
#define AMI_WANT_ITEM 0  /* "(" starting an item, or ")" closing a branch */
#define AMI_WANT_NAME 1  /* the name of the item just opened             */
#define AMI_WANT_VALUE 2 /* a value text, or "(" of the first child      */
#define AMI_IN_VALUE 3   /* ")" closing the leaf, or further value texts */

/* Capacity that the models give their 257-character message buffers. */
#define AMI_MESSAGE_CAPACITY 256

struct AmiTree;

/* A growable typed array, the target of an array entry. */
typedef struct AmiArray {
    int type;   /* element type code, AMI_DOUBLE_ARRAY..AMI_SHORT_ARRAY */
    int count;  /* number of elements, 0 or more                      */
    void *data; /* malloc'd storage of count elements; null when empty */
} AmiArray;

/* The value of one entry: in place for the scalar codes, a pointer otherwise. */
typedef union AmiValue {
    double d;             /* AMI_DOUBLE                          */
    long l;               /* AMI_LONG (64 bits on x86-64, 32 on i386) */
    int i;                /* AMI_INT                             */
    short s;              /* AMI_SHORT                           */
    char c;               /* AMI_CHAR                            */
    char *str;            /* AMI_STRING: malloc'd text, or null  */
    AmiArray *array;      /* AMI_DOUBLE_ARRAY..AMI_SHORT_ARRAY   */
    struct AmiTree *tree; /* AMI_TREE: the branch                */
} AmiValue;

/* One named, typed value. */
typedef struct AmiEntry {
    const char *name; /* item name in the parameter string, case-sensitive */
    int type;         /* type code, AMI_DOUBLE..AMI_TREE                    */
    AmiValue value;   /* the value                                         */
} AmiEntry;

/* A named list of entries: a model's root tree or one of its branches. */
typedef struct AmiTree {
    const char *name;  /* root name of the model, or the branch name */
    int count;         /* number of entries                          */
    AmiEntry *entries; /* count entries in declaration order         */
} AmiTree;

/* The current token: a view into the parameter string, never terminated. */
typedef struct AmiToken {
    const char *start; /* first character of the token */
    int length;        /* number of characters         */
} AmiToken;

/* ---- Binding ---------------------------------------------------------------- */

/* Binds the null-terminated parameter string `parameters` (only read; null is
 * taken as empty) onto the declared tree `root`, whose entries receive the
 * values. `*message` is set to null first, then to a malloc'd text holding the
 * reader's warnings and errors, if any; the caller owns it. `message` may be
 * null to discard them. Returns the number of configured items: one per
 * scalar or string value stored, one per array element appended. */
AMI_EXPORT int ParseTree(const char *parameters, AmiTree root, char **message);

/* Converts the number at `text` (read up to the first character that cannot
 * belong to it; `length` is not used) by the element type `type` (5 to 8;
 * anything else stops the process) and appends it to `array`. Returns 1 when
 * an element was appended, 0 when nothing converted (the array is then as it
 * was). */
AMI_EXPORT int AddToArray(const char *text, int length, int type, AmiArray *array);

/* Releases the storage that the tree's values own: the text of every string
 * entry and the elements of every array entry (left with count 0 and null
 * data), recursing into branches. Entries, branch and array records stay. */
AMI_EXPORT void FreeTree(AmiTree tree);

/* Returns `text` followed by `more` as a new malloc'd text and releases
 * `text`. A null `more` returns `text` unchanged; a null `text` returns a copy
 * of `more` (or null when both are null). */
AMI_EXPORT char *string_cat(char *text, const char *more);

/* ---- Lexer and parser ------------------------------------------------------- */

/* Classifies the character at `c` (reads it and the one after it) given the
 * class of the previous character and the parser `state`; extends or starts
 * `token`, tracks `*in_quote`, sets `*ready` to 1 when a token is complete.
 * Quote warnings are appended to `message` (capacity `message_size`) when they
 * fit whole. With `strict_quotes` 0 a quote may also open a quoted name.
 * Returns the class of the character. */
AMI_EXPORT int AmiLexerNew(const char *c, int previous_class, int state, AmiToken *token,
                           int *in_quote, int *ready, char *message, int message_size,
                           int strict_quotes);

/* AmiLexerNew with strict_quotes 1. */
AMI_EXPORT int AmiLexer(const char *c, int previous_class, int state, AmiToken *token,
                        int *in_quote, int *ready, char *message, int message_size);

/* Takes the class just returned by the lexer and returns the next parser
 * state; moves `*depth` (0 to 15) as branches open and close and appends
 * syntax errors to `message` (capacity `message_size`) when they fit whole. */
AMI_EXPORT int AmiParser(int token_class, int state, int *ready, int *depth, char *message,
                         int message_size);

/* ---- Writing ---------------------------------------------------------------- */

/* Writes `tree` as a parameter string: "(" name, the children, ")". Returns a
 * new malloc'd text that the caller owns. */
AMI_EXPORT char *GrowTree(AmiTree tree);

/* Writes one array entry as "(name e1 e2 ...)". Returns a new malloc'd text,
 * or null when the array has no elements. A type outside 5 to 8 stops the
 * process. */
AMI_EXPORT char *print_array(const char *name, AmiArray array);

/* Writes `text` (null is taken as empty) to "nerova_echo_param.txt" in the
 * current directory, replacing its content. Returns 0 on success, EOF when the
 * file cannot be opened or written. */
AMI_EXPORT int EchoTree(const char *text);

/* ---- Messages and value lists ----------------------------------------------- */

/* Appends "**Warning** " and `text` to `message` when the text, the current
 * content and the prefix together stay shorter than `message_size`; otherwise
 * changes nothing. Returns 1 when appended, 0 when dropped. */
AMI_EXPORT int WarnPrt(char *message, int message_size, const char *text);

/* As WarnPrt, with the prefix "**Error** ". */
AMI_EXPORT int ErrPrt(char *message, int message_size, const char *text);

/* Reads the numbers that begin the words of `text` (delimiters: tab, line
 * feed, carriage return, space, double quote, comma), at most 512. Returns a
 * new malloc'd array that the caller releases and stores its length in
 * `*count`. */
AMI_EXPORT double *string2DoubleArray(const char *text, int *count);

/* Returns the number of words of `text`, with the delimiters above. */
AMI_EXPORT int stringArraySize(const char *text);

AMI_END_C

#endif /* IBIS_AMI_TREE_H */
