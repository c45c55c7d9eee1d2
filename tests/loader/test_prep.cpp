/*
** test_prep.cpp - the image preparation behind the Root's image getters: once per process
** with exactly three log lines, the code image byte for byte (header, stream that decodes
** back to the application image, 0xFF tail), n_src up to the last byte that is not 0xFF,
** the retry after a failed allocation and the -1 that a failed build leaves for good.
*/
#include "embedded_sets.h"
#include "log_capture.h"
#include "root.h"
#include "root_prep.h"
#include "ulzw.h"
#include "uv_mem_presets.h"
#include "win32_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string kInfoVm = "info - src/loader/root_prep.cpp - build_p_vm_from_p_set: ";
const std::string kInfoVmc = "info - src/loader/root_prep.cpp - build_p_vmc_from_p_vm: ";
const std::string kErrVm = "error - src/loader/root_prep.cpp - build_p_vm_from_p_set: ";
const std::string kErrVmc = "error - src/loader/root_prep.cpp - build_p_vmc_from_p_vm: ";
const std::string kErrCheck = "error - src/loader/root_prep.cpp - check_is_loaded: ";
const std::string kTrace = "**** a_vm=00400000 e_vm=00500000\n";

std::string compressed_line(int n) {
  return kInfoVmc + "successfully compressed, " + std::to_string(n) + " bytes totally";
}

/* The application image as the test builds it itself: 0xFF, the set laid in table order. */
std::vector<uint8_t> own_application_image() {
  std::vector<uint8_t> img(0x100000, 0xFF);
  for (uint32_t k = 0; k < zent_get_n_set(); k++)
    for (uint32_t j = 0; j < zent_get_p_set_n_bytes()[k]; j++)
      img[zent_get_p_set_a_bytes()[k] - 0x400000 + j] = zent_get_p_set_p_bytes()[k][j];
  return img;
}

int used_blocks(const uint8_t* p, size_t n) {
  int sum = 0;
  for (size_t i = 0; i < n; i += 256) {
    bool used = false;
    for (size_t j = i; j < i + 256 && j < n; j++) used |= p[j] != 0xFF;
    sum += used ? 256 : 0;
  }
  return sum;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

class PrepTest : public ::testing::Test {
protected:
  void SetUp() override {
    cb_old_ = StdIo_get_cb_stdout();
    p_old_ = StdIo_get_p_stdout();
    win32_process_set_command_line("/opt/zent/zent-loader");
    RootPrep_forget();
    p_ = Root_alloc();
    ASSERT_NE(p_, nullptr);
  }
  void TearDown() override {
    RootPrep_set_seam(nullptr);
    RootPrep_forget();
    Root_free(p_);
    for (UvMem* p : retired_) UvMem_free(p);
    StdIo_set_stdout(cb_old_, p_old_);
    win32_process_set_command_line(nullptr);
  }
  Root* p_ = nullptr;
  std::vector<UvMem*> retired_;  // images of failed attempts, replaced and left to the test
  tyStdIo_cb_stdout cb_old_;
  void* p_old_;
};

TEST_F(PrepTest, FirstImageGetterPreparesOnceWithThreeLines) {
  LogCapture log;
  MsrLin* p_set = Root_get_p_set_loader(p_);
  int n_vmc = p_->n_vmc;
  EXPECT_EQ(log.calls(), (std::vector<std::string>{kTrace, kInfoVm + "ok", compressed_line(n_vmc)}));
  EXPECT_EQ(p_set, &p_->set_loader);
  EXPECT_EQ(Root_get_p_set_appl(p_), &p_->set_appl);
  EXPECT_EQ(p_set->n_set, 30);
  EXPECT_EQ((const void*)p_set->p_heap, (const void*)fld_02_get_p_heap());
  EXPECT_EQ(p_set->p_set_i_bytes, nullptr);
  EXPECT_EQ(p_->set_appl.n_heap, 513835);

  UvMem* p_vm = Root_get_p_vm(p_);
  UvMem* p_vmc = Root_get_p_vmc(p_);
  ASSERT_NE(p_vm, nullptr);
  ASSERT_NE(p_vmc, nullptr);
  EXPECT_EQ(p_vm->a_vmem, 0x400000u);
  EXPECT_EQ(p_vm->n_vmem, 0x100000u);
  EXPECT_EQ(p_vmc->a_vmem, 0x180000u);
  EXPECT_EQ(p_vmc->n_vmem, 0x60000u);
  std::vector<uint8_t> img = own_application_image();
  EXPECT_EQ(Root_get_n_vm(p_), used_blocks(img.data(), img.size()));
  EXPECT_EQ(Root_get_n_vmc(p_), used_blocks(p_vmc->p_vmem, p_vmc->n_vmem));
  EXPECT_GE(Root_get_n_vmc(p_), 256);
  EXPECT_EQ(Root_get_n_block_vm(p_), 256);
  EXPECT_EQ(Root_get_n_block_vmc(p_), 256);

  // Later getters only read: no line, the same objects.
  EXPECT_EQ(log.calls().size(), 3u);
  EXPECT_EQ(check_is_loaded(p_), 1);
  EXPECT_EQ(Root_get_p_set_loader(p_), p_set);
  EXPECT_EQ(Root_get_p_vmc(p_), p_vmc);
  EXPECT_EQ(log.calls().size(), 3u);
}

TEST_F(PrepTest, CodeImageHoldsHeaderStreamAndBlankTail) {
  UvMem* p_vmc = Root_get_p_vmc(p_);
  ASSERT_NE(p_vmc, nullptr);
  const uint8_t* c = p_vmc->p_vmem;
  for (int i = 0; i < 16; i++) EXPECT_EQ(c[i], 0xFF) << i;
  EXPECT_EQ(std::vector<uint8_t>(c + 16, c + 21), (std::vector<uint8_t>{0x47, 0x11, 0x01, 0x03, 0x03}));
  for (int i = 21; i < 32; i++) EXPECT_EQ(c[i], 0xFF) << i;
  EXPECT_EQ(c[32], 0x90);

  std::vector<uint8_t> img = own_application_image();
  uint32_t n_src = le32(c + 33), n_dst = le32(c + 37);
  size_t n_used = img.size();
  while (n_used > 0 && img[n_used - 1] == 0xFF) n_used--;
  EXPECT_EQ(n_src, n_used);
  ASSERT_LE(n_dst, 0x60000u - 41);
  for (size_t i = 41 + n_dst; i < 0x60000; i++) ASSERT_EQ(c[i], 0xFF) << i;

  // The stream is what the unit will expand: it must give back the image's used part.
  std::vector<uint8_t> back(n_src + 16);
  UlzwUnit* unit = UlzwUnit_alloc(144);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(Ulzw_decode(unit, (int)back.size(), back.data(), (int)n_dst, c + 41), (int)n_src);
  UlzwUnit_free(unit);
  EXPECT_TRUE(std::equal(img.begin(), img.begin() + n_src, back.begin()));
}

/* A set over the caller's tables, for the builds on their own. */
struct OneSet {
  uint32_t a, n;
  std::vector<uint8_t> bytes;
  const uint8_t* p;
  MsrLin set;
  OneSet(uint32_t a_, std::vector<uint8_t> b) : a(a_), n((uint32_t)b.size()), bytes(std::move(b)) {
    p = bytes.data();
    MsrLin_init_val(&set, 1, &a, &n, nullptr, &p, (int)n, p);
  }
};

TEST_F(PrepTest, UsedLengthRunsToTheLastByteThatIsNotBlank) {
  UvMem* p_vm = UvMem_alloc_as_zent_appl();
  UvMem* p_vmc = UvMem_alloc_as_zent_code_504();
  LogCapture log;
  OneSet four(0x400100, {1, 2, 3, 4});
  EXPECT_EQ(build_p_vm_from_p_set(p_vm, &four.set, 256), 256);
  EXPECT_EQ(get_n_bytes_used(p_vm), 0x104);
  EXPECT_EQ(build_p_vmc_from_p_vm(p_vmc, p_vm, 256), 256);
  EXPECT_EQ(le32(p_vmc->p_vmem + 33), 0x104u);

  OneSet last(0x4FFFFC, {0xFF, 0xFF, 0xFF, 0x00});
  EXPECT_EQ(build_p_vm_from_p_set(p_vm, &last.set, 256), 256);
  EXPECT_EQ(get_n_bytes_used(p_vm), 0x100000);
  EXPECT_GE(build_p_vmc_from_p_vm(p_vmc, p_vm, 256), 256);
  EXPECT_EQ(le32(p_vmc->p_vmem + 33), 0x100000u);

  UvMem_fill(p_vm, 0xFF);
  EXPECT_EQ(get_n_bytes_used(p_vm), 0);
  EXPECT_EQ(get_n_bytes_in_used_blocks(p_vm, 256), 0);
  EXPECT_EQ(get_n_bytes_used(nullptr), -1);
  EXPECT_EQ(get_n_bytes_in_used_blocks(nullptr, 256), -1);
  UvMem_free(p_vm);
  UvMem_free(p_vmc);
}

/* The scans test blank space a word at a time: a single byte that is not 0xFF must be
** found wherever it sits in its word or block, whatever bits it lacks. */
TEST_F(PrepTest, ScansFindASingleByteAnywhere) {
  UvMem* p_vm = UvMem_alloc_as_zent_appl();
  ASSERT_NE(p_vm, nullptr);
  const uint32_t positions[] = {0, 7, 8, 31, 32, 33, 255, 256, 0x8001F, 0xFFFE0, 0xFFFFF};
  for (uint32_t i : positions) {
    for (uint8_t v : {0x00, 0x7F, 0xFE}) {
      UvMem_fill(p_vm, 0xFF);
      p_vm->p_vmem[i] = v;
      EXPECT_EQ(get_n_bytes_used(p_vm), (int)i + 1) << i;
      EXPECT_EQ(get_n_bytes_in_used_blocks(p_vm, 256), 256) << i;
      EXPECT_EQ(get_n_bytes_in_used_blocks(p_vm, 1), 1) << i;
      // Blocks of 300 bytes leave a short last block, which counts in full when used.
      EXPECT_EQ(get_n_bytes_in_used_blocks(p_vm, 300), 300) << i;
    }
  }
  UvMem_free(p_vm);
}

TEST_F(PrepTest, BuildsRefuseWhatTheyCannotDo) {
  LogCapture log;
  EXPECT_EQ(build_p_vm_from_p_set(nullptr, nullptr, 256), -1);
  EXPECT_EQ(build_p_vmc_from_p_vm(nullptr, nullptr, 256), -1);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{kErrVm + "p_vm == NULL", kErrVm + "p_set == NULL",
                                                    kErrVmc + "p_vmc == NULL", kErrVmc + "p_vm == NULL"}));
  // A partition that runs past the image's end: the writer refuses, the build gives -1.
  UvMem* p_vm = UvMem_alloc_as_zent_appl();
  OneSet past(0x4FFFFC, {1, 2, 3, 4, 5});
  log.clear();
  EXPECT_EQ(build_p_vm_from_p_set(p_vm, &past.set, 256), -1);
  EXPECT_EQ(log.calls().back(), kErrVm + "UvMem_MsrLin_write failed");
  UvMem_free(p_vm);
}

TEST_F(PrepTest, StreamThatDoesNotFitWritesNoHeader) {
  UvMem* p_vm = UvMem_alloc_as_zent_appl();
  UvMem* p_vmc = UvMem_alloc_as_zent_code_504();
  uint32_t x = 12345;
  for (uint32_t i = 0; i < p_vm->n_vmem; i++) p_vm->p_vmem[i] = (uint8_t)((x = x * 1103515245u + 12345u) >> 23);
  LogCapture log;
  EXPECT_EQ(build_p_vmc_from_p_vm(p_vmc, p_vm, 256), -1);
  EXPECT_EQ(log.calls().back(), kErrVmc + "Ulzw_encode failed");
  for (int i = 0; i < 41; i++) EXPECT_EQ(p_vmc->p_vmem[i], 0xFF) << i;
  UvMem_free(p_vm);
  UvMem_free(p_vmc);
}

int g_n_fail_code = 0;
UvMem* failing_code_alloc() {
  if (g_n_fail_code > 0) {
    g_n_fail_code--;
    return nullptr;
  }
  return UvMem_alloc_as_zent_code_504();
}
UvMem* failing_appl_alloc() { return nullptr; }
UlzwUnit* failing_ulzw_alloc(int) { return nullptr; }

TEST_F(PrepTest, FailedAllocationIsTriedAgainAtTheNextGetter) {
  g_n_fail_code = 2;
  RootPrepSeam seam = {nullptr, failing_code_alloc, nullptr, nullptr};
  RootPrep_set_seam(&seam);
  LogCapture log;
  EXPECT_EQ(Root_get_p_vmc(p_), nullptr);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{kTrace, kInfoVm + "ok",
                                                    kErrCheck + "p -> p_vmc = UvMem_alloc_as_zent_code_504 ())",
                                                    kErrVmc + "p_vmc == NULL"}));
  EXPECT_EQ(p_->n_vmc, -1);
  EXPECT_GT(p_->n_vm, 0);
  retired_.push_back(p_->p_vm);
  EXPECT_EQ(check_is_loaded(p_), 0);  // the second attempt fails the same way
  retired_.push_back(p_->p_vm);
  EXPECT_NE(retired_[0], retired_[1]);  // a new image took the place of the first

  log.clear();
  int n_vmc = Root_get_n_vmc(p_);  // the third attempt succeeds
  EXPECT_GE(n_vmc, 256);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{kTrace, kInfoVm + "ok", compressed_line(n_vmc)}));
  log.clear();
  EXPECT_NE(Root_get_p_vmc(p_), nullptr);
  EXPECT_EQ(check_is_loaded(p_), 1);
  EXPECT_EQ(log.text(), "");
}

TEST_F(PrepTest, MissingApplicationImageFailsBothBuilds) {
  RootPrepSeam seam = {failing_appl_alloc, nullptr, nullptr, nullptr};
  RootPrep_set_seam(&seam);
  LogCapture log;
  EXPECT_EQ(check_is_loaded(p_), 0);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{kErrCheck + "p -> p_vm = UvMem_alloc_as_zent_appl ())",
                                                    kErrVm + "p_vm == NULL", kErrVmc + "p_vm == NULL"}));
  EXPECT_EQ(p_->n_vm, -1);
  EXPECT_EQ(p_->n_vmc, -1);
}

TEST_F(PrepTest, FailedBuildKeepsMinusOneForGood) {
  RootPrepSeam seam = {nullptr, nullptr, failing_ulzw_alloc, nullptr};
  RootPrep_set_seam(&seam);
  LogCapture log;
  EXPECT_EQ(Root_get_n_vmc(p_), -1);
  EXPECT_EQ(log.calls().back(), kErrVmc + "UlzwUnit_alloc failed");
  EXPECT_EQ(check_is_loaded(p_), 1);  // every object was made: prepared all the same
  RootPrep_set_seam(nullptr);
  log.clear();
  EXPECT_EQ(Root_get_n_vmc(p_), -1);  // not built again
  EXPECT_NE(Root_get_p_vmc(p_), nullptr);
  EXPECT_EQ(log.text(), "");
}

/* Set-ups of the image sets: none at all, or an application set that reaches past the
** application image. */
MsrLin* failing_set_init(MsrLin*, int, const uint32_t*, const uint32_t*, const uint32_t*, const uint8_t* const*,
                         int, const uint8_t*) {
  return nullptr;
}
const uint32_t kPastA[2] = {0x400000, 0x4FFFF0};
const uint32_t kPastN[2] = {0x100, 0x20};
const uint8_t kPastHeap[0x120] = {1, 2, 3};
const uint8_t* const kPastP[2] = {kPastHeap, kPastHeap + 0x100};
MsrLin* past_the_end_set_init(MsrLin* p, int n_set, const uint32_t* a, const uint32_t* n, const uint32_t* i,
                              const uint8_t* const* pp, int n_heap, const uint8_t* heap) {
  if (n_set == (int)zent_get_n_set()) return MsrLin_init_val(p, 2, kPastA, kPastN, nullptr, kPastP, 0x120, kPastHeap);
  return MsrLin_init_val(p, n_set, a, n, i, pp, n_heap, heap);
}

TEST_F(PrepTest, SetsThatCannotBeMadeAreTriedAgainAndNothingIsCompressed) {
  RootPrepSeam seam = {nullptr, nullptr, nullptr, failing_set_init};
  RootPrep_set_seam(&seam);
  LogCapture log;
  EXPECT_EQ(check_is_loaded(p_), 0);
  std::vector<std::string> calls = log.calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], kErrCheck + "p -> p_set_loader = MsrLin_init_val (& p -> set_loader, fld_02_get_n_set (), "
                                  "fld_02_get_p_set_a_bytes (), fld_02_get_p_set_n_bytes (), NULL , "
                                  "fld_02_get_p_set_p_bytes (), fld_02_get_n_heap (), fld_02_get_p_heap ()))");
  EXPECT_EQ(calls[1], kErrCheck + "p -> p_set_appl = MsrLin_init_val (& p -> set_appl, zent_get_n_set (), "
                                  "zent_get_p_set_a_bytes (), zent_get_p_set_n_bytes (), NULL , "
                                  "zent_get_p_set_p_bytes (), zent_get_n_heap (), zent_get_p_heap ()))");
  EXPECT_EQ(calls[2], kErrVm + "p_set == NULL");
  EXPECT_EQ(calls.back(), kErrVmc + "Ulzw_encode failed");
  // The application image was never laid: it is blank, not whatever the heap held, and so
  // there is no code image that a download could program.
  EXPECT_EQ(p_->n_vm, -1);
  EXPECT_EQ(get_n_bytes_used(p_->p_vm), 0);
  EXPECT_EQ(p_->n_vmc, -1);
  EXPECT_EQ(get_n_bytes_used(p_->p_vmc), 0);

  retired_.push_back(p_->p_vm);
  retired_.push_back(p_->p_vmc);
  RootPrep_set_seam(nullptr);
  log.clear();
  EXPECT_GE(Root_get_n_vmc(p_), 256);  // the next getter tries again, and now succeeds
  EXPECT_EQ(log.calls().size(), 3u);
  EXPECT_EQ(Root_get_p_set_loader(p_), &p_->set_loader);
}

TEST_F(PrepTest, RefusedApplicationSetLeavesNoPartialImageToProgram) {
  RootPrepSeam seam = {nullptr, nullptr, nullptr, past_the_end_set_init};
  RootPrep_set_seam(&seam);
  LogCapture log;
  EXPECT_EQ(check_is_loaded(p_), 1);  // every object was made: prepared, for good
  EXPECT_NE(log.text().find(kErrVm + "UvMem_MsrLin_write failed"), std::string::npos) << log.text();
  EXPECT_EQ(log.calls().back(), kErrVmc + "Ulzw_encode failed");
  EXPECT_EQ(Root_get_n_vm(p_), -1);
  EXPECT_EQ(get_n_bytes_used(p_->p_vm), 0);  // the first partition, written, was taken back
  EXPECT_EQ(Root_get_n_vmc(p_), -1);        // the download stops on this
  for (int i = 0; i < 41; i++) ASSERT_EQ(p_->p_vmc->p_vmem[i], 0xFF) << i;
}

TEST_F(PrepTest, NoRootPreparesNothing) {
  LogCapture log;
  EXPECT_EQ(Root_get_p_set_loader(nullptr), nullptr);
  EXPECT_EQ(Root_get_p_vmc(nullptr), nullptr);
  EXPECT_EQ(check_is_loaded(nullptr), 0);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(check_is_loaded(p_), 1);  // the process had not prepared
  EXPECT_EQ(log.calls().size(), 3u);
}

}  // namespace
