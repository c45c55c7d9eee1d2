/*
** fs.h - the replaceable file-system interface. The libraries never call the operating
** system's file functions: they go through an Fs, a context and eight operation slots, and
** an Fs of NULL means the process default (installed once at start-up, Fs_set_default). An
** open file is an FsFile that remembers its Fs and the backend's handle. Tests install an
** Fs of their own to count or refuse the calls.
*/
#ifndef ZENT_FS_H
#define ZENT_FS_H

/* Slots, each called with the record's ctx first. Handles are 0 or more; a negative handle
** is a failure. Origins: 0 start, 1 current, 2 end. */
typedef int (*tyFs_cb_create)(void* ctx, const char* p_name);  // make or empty; handle
typedef int (*tyFs_cb_delete)(void* ctx, const char* p_name);  // 1 done, 0 not
typedef int (*tyFs_cb_open)(void* ctx, const char* p_name);    // existing, at start; handle
typedef int (*tyFs_cb_close)(void* ctx, int h_file);           // 1 done, 0 failed
typedef int (*tyFs_cb_read)(void* ctx, int h_file, void* p_buf, int n);         // bytes read
typedef int (*tyFs_cb_write)(void* ctx, int h_file, const void* p_buf, int n);  // written
typedef int (*tyFs_cb_seek)(void* ctx, int h_file, int origin, int offset);  // position, -1
typedef int (*tyFs_cb_tell)(void* ctx, int h_file);                          // position, -1

typedef struct Fs {
  void* ctx;                 // handed to every slot; the Win32 backend has none (NULL)
  tyFs_cb_create cb_create;  // make the file, or empty it, for reading and writing
  tyFs_cb_delete cb_delete;  // delete the named file
  tyFs_cb_open cb_open;      // open an existing file for reading and writing
  tyFs_cb_close cb_close;    // close a handle
  tyFs_cb_read cb_read;      // read up to n bytes; 0 at the end or on failure
  tyFs_cb_write cb_write;    // write n bytes; 0 on failure
  tyFs_cb_seek cb_seek;      // move the position
  tyFs_cb_tell cb_tell;      // the position
  void* cb_spare_1;          // stored, never called
  void* cb_spare_2;          // stored, never called
} Fs;

typedef struct FsFile {
  Fs* p_fs;    // the Fs that opened it (NULL already replaced by the default); borrowed
  int h_file;  // the backend's handle; negative: no file
} FsFile;

/* New record holding the given values, or NULL when memory runs out (no line). */
Fs* Fs_alloc(void* ctx, tyFs_cb_create cb_create, tyFs_cb_delete cb_delete, tyFs_cb_open cb_open,
             tyFs_cb_close cb_close, tyFs_cb_read cb_read, tyFs_cb_write cb_write,
             tyFs_cb_seek cb_seek, tyFs_cb_tell cb_tell, void* cb_spare_1, void* cb_spare_2);

/* Releases the record; NULL does nothing. */
void Fs_free(Fs* p);

/* Installs the process default. 1 when it is not NULL, else 0. */
int Fs_set_default(Fs* p);
Fs* Fs_get_default(void);

/* Deletes the named file through fs (NULL: the default). The slot's result; 0 when there
** is no file system or slot. */
int Fs_delete(Fs* fs, const char* p_name);

/* Makes (or empties) / opens an existing file through fs (NULL: the default). New FsFile,
** or NULL when the slot refuses or there is no file system. */
FsFile* FsFile_create(Fs* fs, const char* p_name);
FsFile* FsFile_open(Fs* fs, const char* p_name);

/* Closes and releases the file. 1 when closed or nothing to close (NULL, negative handle),
** 0 when the close slot failed; the record is released in either case. */
int FsFile_close(FsFile* f);

/* Forward to the slot with the file's handle and return its result unchanged. A NULL file
** or missing slot gives 0 (read, write) or -1 (seek, tell). Nothing here writes a line. */
int FsFile_read(FsFile* f, void* p_buf, int n);
int FsFile_write(FsFile* f, const void* p_buf, int n);
int FsFile_seek(FsFile* f, int origin, int offset);
int FsFile_tell(FsFile* f);

#endif
