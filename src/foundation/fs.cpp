/*
** fs.cpp - the Fs record, the process default and the FsFile forwarders. Nothing here
** writes a line: failures show only as results, and the layers above decide what to report.
** Calls with no file system to go to (no default installed, a NULL file, an empty slot)
** are outside the callers' contract and get the neutral result of their operation.
*/
#include "fs.h"

#include <cstdlib>

static Fs* p_fs_default = nullptr;  // the process default; set once at start-up

Fs* Fs_alloc(void* ctx, tyFs_cb_create cb_create, tyFs_cb_delete cb_delete, tyFs_cb_open cb_open,
             tyFs_cb_close cb_close, tyFs_cb_read cb_read, tyFs_cb_write cb_write,
             tyFs_cb_seek cb_seek, tyFs_cb_tell cb_tell, void* cb_spare_1, void* cb_spare_2) {
  Fs* p = (Fs*)malloc(sizeof(*p));
  if (!p) return nullptr;
  *p = Fs{ctx,     cb_create, cb_delete, cb_open,    cb_close,  cb_read,
          cb_write, cb_seek,  cb_tell,   cb_spare_1, cb_spare_2};
  return p;
}

void Fs_free(Fs* p) { free(p); }

int Fs_set_default(Fs* p) {
  p_fs_default = p;
  return p ? 1 : 0;
}

Fs* Fs_get_default(void) { return p_fs_default; }

/* fs, or the default for NULL; NULL when neither exists. */
static Fs* fs_or_default(Fs* fs) { return fs ? fs : p_fs_default; }

int Fs_delete(Fs* fs, const char* p_name) {
  fs = fs_or_default(fs);
  if (!fs || !fs->cb_delete) return 0;
  return fs->cb_delete(fs->ctx, p_name);
}

/* Common part of create and open: the record, then the slot's handle. */
static FsFile* file_from_slot(Fs* fs, tyFs_cb_open cb, const char* p_name) {
  if (!cb) return nullptr;
  FsFile* f = (FsFile*)malloc(sizeof(*f));
  if (!f) return nullptr;
  f->p_fs = fs;
  f->h_file = cb(fs->ctx, p_name);
  if (f->h_file < 0) {
    FsFile_close(f);
    return nullptr;
  }
  return f;
}

FsFile* FsFile_create(Fs* fs, const char* p_name) {
  fs = fs_or_default(fs);
  return fs ? file_from_slot(fs, fs->cb_create, p_name) : nullptr;
}

FsFile* FsFile_open(Fs* fs, const char* p_name) {
  fs = fs_or_default(fs);
  return fs ? file_from_slot(fs, fs->cb_open, p_name) : nullptr;
}

int FsFile_close(FsFile* f) {
  if (!f) return 1;
  int rc = 1;
  if (f->h_file >= 0) rc = f->p_fs->cb_close && f->p_fs->cb_close(f->p_fs->ctx, f->h_file) ? 1 : 0;
  free(f);
  return rc;
}

/* A NULL file or an empty slot gets the operation's neutral result. */
int FsFile_read(FsFile* f, void* p_buf, int n) {
  if (!f || !f->p_fs->cb_read) return 0;
  return f->p_fs->cb_read(f->p_fs->ctx, f->h_file, p_buf, n);
}

int FsFile_write(FsFile* f, const void* p_buf, int n) {
  if (!f || !f->p_fs->cb_write) return 0;
  return f->p_fs->cb_write(f->p_fs->ctx, f->h_file, p_buf, n);
}

int FsFile_seek(FsFile* f, int origin, int offset) {
  if (!f || !f->p_fs->cb_seek) return -1;
  return f->p_fs->cb_seek(f->p_fs->ctx, f->h_file, origin, offset);
}

int FsFile_tell(FsFile* f) {
  if (!f || !f->p_fs->cb_tell) return -1;
  return f->p_fs->cb_tell(f->p_fs->ctx, f->h_file);
}
