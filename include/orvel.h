/*
 * orvel.h - the interface Orvel offers to plug-ins.
 *
 * A plug-in is a shared library loaded from the store's "plugins" directory.
 * It reaches the program's state through the dictionary roots (DICT_*) and
 * the functions declared here, which the program exports under these names.
 * Everything in this header has C linkage and a C layout.
 *
 * Ownership: a dictionary owns the values stored in it and the names of its
 * variables; strings handed to set_var as TYPE_STRING payloads must come from
 * malloc and are taken over.  Strings returned by value_as_string belong to
 * the value.  Texts own their nodes and the nodes' strings.  Strings and
 * records returned by the Orvel_ services, the byte streams and the HTTP
 * client are newly allocated and belong to the caller (free them with free
 * or their free_ function).
 */
#ifndef ORVEL_H
#define ORVEL_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- typed values ------------------------------------------------------ */

enum {
    TYPE_NONE = 0,    /* the empty value */
    TYPE_INTEGER = 1, /* 32-bit signed integer */
    TYPE_FLOAT = 2,   /* double */
    TYPE_STRING = 3,  /* heap string, owned */
    TYPE_VAR = 4,     /* nested dictionary, owned */
    TYPE_TEXT = 5,    /* text (list of strings), not owned */
    TYPE_LIST = 6,    /* list of values, not owned */
    TYPE_VOID = 7     /* opaque pointer, not owned */
};

struct var;
struct text;
struct list;

typedef union value_payload {
    int32_t i;
    double f;
    void *p;
} value_payload;

typedef struct value {
    value_payload payload; /* integer, double or pointer, by type */
    char *cached;          /* last text rendering, owned; NULL when none */
    int32_t type;          /* TYPE_* code */
} value;

/* One named variable, and one link of a dictionary chain.  A dictionary is
 * a head var whose name is its label ("[CONFIG]"); its entries follow in
 * insertion order.  `index` is private to the program (a lookup index kept
 * on large dictionaries); plug-ins must change chains only through the
 * functions below. */
typedef struct var {
    struct value *value;
    char *name;
    uint32_t hash;
    struct var *previous;
    struct var *next;
    void *index;
} var;

/* ---- texts: ordered lists of owned strings ------------------------------ */

typedef struct textstring {
    char *string;
    struct textstring *previous;
    struct textstring *next;
} textstring;

typedef struct text {
    textstring *first;
    textstring *last;
} text;

/* ---- lists ----------------------------------------------------------- */

typedef struct list {
    struct value **items;
    int capacity;
    int count;
} list;

/* ---- dictionary roots ------------------------------------------------- */

extern var *DICT_CONFIG, *DICT_SHOPPER, *DICT_TOTALS, *DICT_URL, *DICT_ARGS,
    *DICT_PRODUCTS, *DICT_SELECTED, *DICT_NOTES, *DICT_FIELDS, *DICT_MATCHES,
    *DICT_NAMES, *DICT_PICKUPS, *DICT_MIMETYPES, *DICT_OPTIONS, *DICT_MESSAGES,
    *DICT_CURRENCY, *DICT_INPUT, *DICT_COOKIES, *DICT_TWEAKS, *DICT_ORVEL,
    *DICT_VARIABLES, *DICT_MIVS, *DICT_LOOPNAMES, *DICT_PLUGINS,
    *DICT_SHOPPER_PR, *DICT_SELECTED_PR, *DICT_CURRENT_ORDER;

extern const char *orvel_version;
extern const char *build_date;
extern const char *build_time;
extern const char *bytemark;

/* ---- variables and dictionaries -------------------------------------- */

var *new_var(const char *name);
var *create_var(const char *name, ...); /* key, value*, ..., NULL */
char *new_varname(void);
var *set_var(var *dict, const char *name, int type, ...);
var *set_var_as_value(var *dict, const char *name, value *val);
var *get_var(var *dict, const char *name);
var *get_var_case_insensitive(var *dict, const char *name);
const char *var_reverse_integer_lookup(var *dict, int n);
void unset_var(var *dict, const char *name);
int var_length(var *dict);
void var_value_set(var *v, int type, ...);
var *copy_var(var *src, var *dst, int overwrite);
void free_var(var *v);
var *nuke_var(var *v);
char *dict_as_string(var *dict);

/* ---- values ----------------------------------------------------------- */

value *new_value(void);
value *create_value(int type, ...);
void value_set(value *val, int type, ...);
void value_reset(value *val);
void free_value(value *val);
var *value_as_var(value *val);
text *value_as_text(value *val);
list *value_as_list(value *val);
void *value_as_void(value *val);
const char *value_as_string(value *val);
int value_as_integer(value *val, int def);
double value_as_float(value *val, double def);
int value_as_boolean(value *val);

/* ---- lists ------------------------------------------------------------ */

list *new_list(int capacity);
void grow_list(list *l, int capacity);
void init_list(list *l, int from);
value *list_append(list *l, value *val);
value *list_fetch(list *l, int index);
void list_truncate(list *l, int from);
void free_list(list *l);
char *list_serialize(list *l, char separator);
list *list_deserialize(const char *string, char separator);
list *Orvel_explode_into_list(const char *string, char separator, int collapse);
var *list_into_var(list *l, var *dict);
var *sublist_into_var(list *l, var *dict, int first, int last);
list *var_list_keys(var *dict);
int to_fields(const char *text, var *dict, int upcase, char joiner);

/* ---- texts ------------------------------------------------------------ */

text *new_text(char *string);
textstring *new_textstring(char *string);
void free_textstring(textstring *node);
textstring *text_addstring(text *t, char *string);
void text_delete(text *t, textstring *node);
void text_erase(text *t);
void free_text(text *t);
int text_length(const text *t);
char *text_tostring(const text *t);
void text_fprint(FILE *out, const text *t);
text *break_text(const text *t);
text *to_words(const char *string, char separator);

/* ---- preference text -------------------------------------------------- */

int fp_parse_prefs(FILE *file, var *dict, int overwrite);
int Orvel_parse_prefs_from_text(const text *t, var *dict, int overwrite);
int fp_slurp_file(FILE *file, text *t, char comment);
int fp_write_prefs(FILE *file, var *dict);

/* ---- searches ----------------------------------------------------------
 *
 * A parsed search specification and one search over the products file.
 * The search entry point a plug-in may export (plugin_search) receives a
 * list whose variable "QUERY" points to the SearchQuery; a plug-in that
 * answers the search itself appends the matching product ids (string
 * values) and their ranks (integer values) to `ids` and `ranks`, sets
 * `total` and returns -1002. */

enum { SEARCH_TYPE_NUMERIC = 2, SEARCH_TYPE_TEXT = 3 };

/* One term: field, weight, normalised pattern and how it counts. */
typedef struct SearchWord {
    char *field;      /* field name, owned */
    int weight;       /* SEARCH_WEIGHT_<field>, default 1 */
    char *pattern;    /* normalised value, owned */
    double number;    /* the pattern read as a number (0 when none) */
    int type;         /* SEARCH_TYPE_NUMERIC or SEARCH_TYPE_TEXT */
    char comparison;  /* one of : = > < % [ ] ^ $ */
    char logic;       /* + required, ? optional, - excluded, * grouped */
    int found;        /* a + or * term matched in the current product */
    struct SearchWord *next;
} SearchWord;

typedef struct SearchSpec {
    SearchWord *first;  /* terms in written order, owned */
    var *groups;        /* one boolean per distinct "*" pattern, owned */
} SearchSpec;

typedef struct SearchQuery {
    int page_size;        /* matches wanted at once (0 given means 100) */
    int most_matches;     /* SEARCH_MOST_MATCHES: the scan stops there */
    int16_t word_mode;    /* the text holds % [ or ]: values keep punctuation */
    SearchSpec *spec;     /* owned */
    int16_t collect_all;  /* a negative page size was given */
    list *ids;            /* matching product ids, owned */
    list *ranks;          /* their ranks, parallel to ids, owned */
    int total;            /* number of matches */
    unsigned offset;      /* where the scan stopped in the products file */
} SearchQuery;

SearchWord *new_SearchWord(const char *field, char logic, char comparison);
void free_SearchWord(SearchWord *word);
SearchSpec *new_SearchSpec(void);
void free_SearchSpec(SearchSpec *spec);
void append_search_word(SearchSpec *spec, SearchWord *word);
/* NULL for an empty text; a malformed term ends the request. */
SearchSpec *create_SearchSpec(const char *text, int substitute);
SearchQuery *new_SearchQuery(const char *text, int page_size, int substitute);
void free_SearchQuery(SearchQuery *query);
/* Database conditions for plug-ins that search a database instead of the
 * products file; malloc'd, the caller frees them.  NULL for an unusable
 * column name. */
char *search_spec_to_where_statement(const SearchSpec *spec);
char *skuid_list_to_where_statement(const list *ids, const char *column);

/* ---- services --------------------------------------------------------- */

const char *Orvel_getenv(const char *name);
void overror(const char *format, ...);
void ovlog(const char *format, ...);
void ovdebug(const char *format, ...);
void ovdeprec(const char *format, ...);
int fp_lock(FILE *file, int type);
int fp_lock_debug(FILE *file, int type, const char *path);
#if defined(__GNUC__)
__attribute__((noreturn))
#endif
void my_exit(int status);

/* ---- digests ------------------------------------------------------------ */

/* MD5 (RFC 1321) state: bit count (low word first), chaining words A-D and
 * the block being filled. */
typedef struct Orvel_MD5_CTX {
    uint32_t count[2];
    uint32_t state[4];
    unsigned char buffer[64];
} Orvel_MD5_CTX;

/* One 64-byte block through the four MD5 rounds. */
void Orvel_Digest_Transform(uint32_t state[4], const unsigned char block[64]);

/* ---- card checks ------------------------------------------------------ */

/* 0 when the card number is plausible; the Luhn sum modulo 10 when its
 * check digit is wrong; -1 when malformed, all zeros or of the wrong length
 * (13 to 16 digits; spaces, '-' and '/' between them are allowed). */
int invalid_credit_card(const char *number);
/* 1 when the card has expired (before the current month), 0 when not, -1
 * when either value is negative.  Years 0..68 mean 20xx, 69..99 mean 19xx. */
int invalid_credit_card_date(int month, int year);

/* ---- byte streams and the HTTP/1.0 client --------------------------------- */

/* A growable byte buffer; bytes[length..capacity) is zero-filled. */
typedef struct ByteStream {
    size_t capacity;
    size_t length;
    unsigned char *bytes;
} ByteStream;

/* The answer to one fetch.  `error` is NULL when the fetch worked, else a
 * text saying what went wrong (the other fields hold what was understood).
 * `reason` is the rest of the status line after the code, leading space
 * included; `headers` maps upper-cased header names to their values. */
typedef struct HTTP_Output {
    char *error;
    int status;
    char *protocol;
    char *reason;
    var *headers;
    ByteStream *body;
} HTTP_Output;

ByteStream *new_ByteStream(size_t capacity);
void free_ByteStream(ByteStream *stream);
/* Makes room for `size` bytes in all; 0 on success, -1 when out of memory. */
int ByteStream_grow(ByteStream *stream, size_t size);
/* Copies the bytes in at the end; 0 on success, -1 when out of memory. */
int ByteStream_append(ByteStream *stream, const void *bytes, size_t length);
/* Writes the bytes to a new file: the length written, 0 when writing
 * failed, -1 when the file cannot be created. */
long ByteStream_to_file(const ByteStream *stream, const char *path);
/* The bytes as lines split at LF, CR and NUL bytes dropped; a last piece
 * without LF is kept only when it is not empty. */
text *ByteStream_to_broken_text(const ByteStream *stream);

HTTP_Output *new_HTTP_Output(void);
void free_HTTP_Output(HTTP_Output *output);
/* GET of `path` from host:port over HTTP/1.0.  Never NULL: failures are
 * reported in the output's error text.  The answer is limited in size (see
 * HTTP_MAX_RESPONSE_BYTES); time is bounded by the request's alarm. */
HTTP_Output *HTTP_fetch_url_binary(const char *host, int port, const char *path);
/* Splits raw response bytes into status line, headers and body, into
 * `output` or (when NULL) into a new record, which is returned. */
HTTP_Output *HTTP_parse_output(const ByteStream *bytes, HTTP_Output *output);
/* Writes the body (cut to CONTENT-LENGTH when that is smaller); results as
 * ByteStream_to_file. */
long HTTP_Output_to_file(const HTTP_Output *output, const char *path);
text *HTTP_Output_to_broken_text(const HTTP_Output *output);
/* The body read as NAME:value lines into a new dictionary; NULL on failure. */
var *HTTP_Output_to_var(const HTTP_Output *output);

#define HTTP_MAX_RESPONSE_BYTES (16u * 1024u * 1024u)
#define HTTP_MAX_HEADER_BYTES (64u * 1024u)

/* ---- network -------------------------------------------------------------- */

/* This machine's host name ("localhost" when it cannot be read). */
char *Orvel_net_localhost(void);
/* The dotted IPv4 address of a host (this machine when NULL); NULL when the
 * lookup fails. */
char *Orvel_net_ipaddr(const char *name);
/* A connected TCP socket, or -1. */
int Orvel_net_open(const char *host, int port);
/* One receive / one send; -1 on failure. */
int Orvel_net_read(int socket, void *buffer, int size);
int Orvel_net_write(int socket, const void *bytes, int length);

/* ---- plug-ins --------------------------------------------------------------
 *
 * A plug-in exports entry points named plugin_init, plugin_pre_validate,
 * plugin_pre_action, plugin_post_action, plugin_login, plugin_logout,
 * plugin_birth, plugin_chpass, plugin_welcome, plugin_filter_cart,
 * plugin_order_finished, plugin_read_options, plugin_read_products,
 * plugin_tweak_products, plugin_search, plugin_encrypt_mail and
 * plugin_shutdown, each of the form `int entry(var *argument)`.  The
 * program calls each entry in every loaded plug-in that has it, in load
 * order, and reads the answers below. */
typedef int (*Orvel_plugin_entry)(var *argument);

enum {
    PLUGIN_HANDLED = -1002, /* done by the plug-in: stop; the program skips its own step */
    PLUGIN_STOP = 1002,     /* stop polling; the program goes on as usual */
    PLUGIN_FAILED = 1001,   /* this plug-in failed: logged, polling goes on */
    PLUGIN_NOBODY = -1001,  /* no plug-in has the entry point */
    PLUGIN_DISABLED = 1004, /* plug-ins are switched off (DISABLE_PLUGINS) */
    PLUGIN_REFUSED = 1005   /* from plugin_init: do not load this plug-in */
};

/* Calls `entry_name` in every loaded plug-in; the answer of the last one
 * called (or the first PLUGIN_HANDLED / PLUGIN_STOP). */
int poll_plugins(const char *entry_name, var *argument);
/* The paths of the files in the plugins directory with an accepted
 * extension, in directory order; NULL when the directory cannot be read. */
text *Orvel_fetch_plugin_pathnames(void);

/* ---- program services --------------------------------------------------- */

/* Creates the dictionary roots; frees them (hosts that embed the program). */
void Orvel_initialize(void);
void Orvel_deinitialize(void);
/* Writes page text through the program's output layer, which sends the
 * response headers before the first text.  A plug-in that answers a request
 * itself (PLUGIN_HANDLED from plugin_pre_action) writes its page with this. */
void xprintf(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* ---- services with C forms for plug-ins ---------------------------------
 *
 * The program's own sources use C++ forms of these services under the same
 * names; the program's build defines ORVEL_PROGRAM_SOURCES and sees only
 * those.  Plug-ins see the C forms below.  Every returned pointer is newly
 * allocated with malloc and belongs to the caller (free it).
 */
#ifndef ORVEL_PROGRAM_SOURCES

void Orvel_Digest_MD5Init(Orvel_MD5_CTX *state);
void Orvel_Digest_MD5Update(Orvel_MD5_CTX *state, const unsigned char *bytes, unsigned int length);
/* The 16-byte digest; the state is wiped. */
unsigned char *Orvel_Digest_MD5Final(Orvel_MD5_CTX *state);
/* The 16-byte digest of a byte run; *out_length (when given) is set to 16. */
unsigned char *Orvel_Digest_MD5(const unsigned char *bytes, unsigned int length, unsigned int *out_length);
/* 32 lower-case hexadecimal digits. */
char *Orvel_Digest_MD5_Hex(const char *text);
/* HMAC-MD5 of the message under the key (message first), in hexadecimal. */
char *Orvel_Digest_HMAC_Hex(const char *message, const char *key);

/* Log file paths by kind: 1 error, 2 debug, 3 deprecation, other common. */
char *Orvel_get_logfile_name(int kind);
/* The shopper-file, order-file and pending-order directories, or a file in
 * one of them when `name` is not NULL. */
char *Orvel_get_users_path(const char *name);
char *Orvel_get_orders_path(const char *name);
char *Orvel_get_pending_order_path(const char *name);
/* 1 when shopper files may be written in this request. */
int Orvel_writable_userfiles(void);
/* Writes today's maintenance stamp: 1 written, 0 failed. */
int Orvel_stamp_maintenance_file(void);

/* Cookie and client-identity helpers. */
char *Orvel_cookie_domain(const char *url_or_host);
char *Orvel_standard_cookie_name(int upper);
char *Orvel_encapsulate_client_id(void);
int Orvel_client_id_encapsulation_version(const char *text);
char *Orvel_extract_encapsulated_client_id(const char *text); /* NULL: none */
int Orvel_default_client_encap_version(void);
char *Orvel_extract_path_info_client(void);                  /* NULL: none */
int Orvel_is_servable_path_info(const char *path);

/* Strings and encodings. */
char *Orvel_random_word(int length);
char *Orvel_tobaseXX(long number, int base); /* NULL: negative number or bad base */
long Orvel_frombaseXX(const char *text, int base);
char *Orvel_strreverse(const char *text);
/* Seconds since the epoch of a fourteen-digit date-time text (now for NULL). */
time_t Orvel_datetoseconds(const char *text);
/* In place; return their argument. */
char *Orvel_Capitalize_words(char *text);
char *Orvel_Capitalize_sentences(char *text);

#endif /* ORVEL_PROGRAM_SOURCES */

#ifdef __cplusplus
}
#endif

#endif /* ORVEL_H */
