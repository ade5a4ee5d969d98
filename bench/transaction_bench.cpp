// Whole payment transactions (securepay, then its Ack) against the in-process test gateway on
// loopback, with 1 and 2 client threads, and the parts of one transaction measured on their own
// in the same run: the cryptography of both sides, the log's flushed lines, and the network
// exchange with canned messages of the same sizes. Prints each part's share of a transaction's
// time at the end.
//
// The log goes to a directory below $TMPDIR (/tmp when unset): point it at the disk the logs
// would live on, since each line is flushed to disk before the next step.
#include <benchmark/benchmark.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "acknowledgement.h"
#include "keymaker.h"
#include "security.h"
#include "text.h"
#include "testgateway/payment_gateway.h"
#include "testgateway/test_gateway.h"
#include "transaction.h"

namespace {

namespace fs = std::filesystem;
using orv::EvpPkeyPtr;

constexpr char kMid[] = "benchshop01";
constexpr char kPgid[] = "PG0000000";  // with the merchant ID, 20 bytes: a whole TID
constexpr char kKeyPhrase[] = "phrase";
constexpr char kGatewayAddress[] = "127.98.0.1";
constexpr char kEchoAddress[] = "127.98.0.2";
constexpr char kCardBlock[] =
    "CardNumber: 4111111111111111\r\nCardExpire: 0312\r\nCardQuota: 00\r\n";

EvpPkeyPtr ReadPem(const std::string& path, bool isPublic) {
  std::unique_ptr<BIO, orv::OpenSslFree<BIO_free>> file(BIO_new_file(path.c_str(), "r"));
  return EvpPkeyPtr(isPublic ? PEM_read_bio_PUBKEY(file.get(), nullptr, nullptr, nullptr)
                             : PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

void Die(const std::string& why) {
  std::fprintf(stderr, "transaction_bench: %s\n", why.c_str());
  std::exit(1);
}

// The module directory, the gateway, and one transaction's messages as samples for the parts.
struct World {
  World() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orvpay41-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Die("mkdtemp failed");
    directory = pattern + "/";
    std::string error;
    if (!orvkeys::MakeGatewayKeys(directory, error) ||
        !orvkeys::MakeMerchantKeys(directory, kMid, kKeyPhrase, error))
      Die(error);
    fs::create_directory(directory + "log");
    std::ofstream(directory + orv::kGatewayOverrideFile)
        << "primary = " << kGatewayAddress << "\nfirst_backup = " << kGatewayAddress
        << "\nsecond_backup = " << kGatewayAddress << "\ntest = " << kGatewayAddress << "\n";

    if (orv::ReadGatewayCertificate(directory + "key/pgcert.pem", gatewayPublic) != 1) Die("cert");
    gatewayPrivate = ReadPem(directory + "gateway/pgpriv.pem", false);
    merchantPublic = ReadPem(directory + "gateway/" + kMid + "/mpub.pem", true);
    orv::TransactionFields fields;
    fields.moduleDirectory = directory;
    fields.mid = kMid;
    fields.admin = kKeyPhrase;
    if (orv::LoadMerchantKey(fields, merchantPrivate) != 1) Die("merchant key");
    if (orv::SealRequestData(gatewayPublic.get(), kCardBlock, cardSessionKey, cardEncrypted) != 1)
      Die("seal");

    gateway = std::make_unique<testgw::PaymentGateway>(directory);
    server = std::make_unique<testgw::TestGateway>(kGatewayAddress, gateway->AsHandler());
    Sample();
  }

  ~World() {
    server.reset();
    fs::remove_all(directory);
  }

  // One transaction of every kind the benchmark runs, kept as the parts' material.
  void Sample() {
    orv::Transaction t(nextHandle++);
    Fill(t);
    orv::StartAction(t);
    if (t.fields.resultcode != "00" || orv::RunAcknowledgement(t) != 1)
      Die("the sample transaction failed: " + t.fields.resultmsg);
    request = t.fields.requestMessage;
    reply = t.fields.replyMessage;
    decrypted = t.fields.decryptedReply;
    ack = "Ack:" + t.fields.tid;
    const std::string log = ReadLog();
    for (size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2)
      logLines.push_back(log.substr(at, end - at));
  }

  std::string ReadLog() const {
    std::string text;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory + "log")) {
      std::ifstream file(entry.path(), std::ios::binary);
      text.append(std::istreambuf_iterator<char>(file), {});
    }
    return text;
  }

  void Fill(orv::Transaction& t) const {
    orv::TransactionFields& f = t.fields;
    f.moduleDirectory = directory;
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"type", "securepay"}, {"mid", kMid},
          {"pgid", kPgid}, {"admin", kKeyPhrase}, {"uip", "127.0.0.1"},
          {"url", "http://127.0.0.1/shop"}, {"price", "1000"}, {"currency", "WON"},
          {"paymethod", "Card"}, {"goodname", "book"}, {"buyername", "buyer"},
          {"buyertel", "010-0000-0000"}, {"buyeremail", "buyer@example.com"},
          {"sessionkey", cardSessionKey}, {"encrypted", cardEncrypted}})
      f.SetNamedField(name, value);
  }

  std::string directory;
  EvpPkeyPtr gatewayPublic, gatewayPrivate, merchantPublic, merchantPrivate;
  std::string cardSessionKey, cardEncrypted;
  std::unique_ptr<testgw::PaymentGateway> gateway;
  std::unique_ptr<testgw::TestGateway> server;
  std::string request, reply, decrypted, ack;
  std::vector<std::string> logLines;
  std::atomic<int> nextHandle = 1000;  // three digits end every TID
};

World* world = nullptr;

std::string Item(std::string_view text, std::string_view name) {
  std::string value = orv::GetItemValue(text, name, "\r\n", ":");
  value.erase(value.find_last_not_of(" \t\r\n") + 1);
  return value;
}

void Transaction(benchmark::State& state) {
  for (auto _ : state) {
    orv::Transaction t(world->nextHandle++);
    world->Fill(t);
    orv::StartAction(t);
    if (orv::RunAcknowledgement(t) != 1) state.SkipWithError("not acknowledged");
  }
  state.SetItemsProcessed(state.iterations());
}

// The module's side: sign the request, check and open the reply.
void CryptoModule(benchmark::State& state) {
  const std::string body = world->request.substr(0, world->request.rfind("Tail: "));
  const std::string signature = Item(world->reply, "Tail");
  const std::string sessionKey = Item(world->reply, "SessionKey");
  const std::string encrypted = Item(world->reply, "Encrypted");
  for (auto _ : state) {
    std::string requestSignature, plain;
    orv::SignText(world->merchantPrivate.get(), body, requestSignature);
    orv::VerifyReplySignature(world->gatewayPublic.get(), world->reply, signature);
    orv::OpenSealedReply(world->merchantPrivate.get(), sessionKey, encrypted, plain);
    benchmark::DoNotOptimize(plain);
  }
}

// The test gateway's side, which shares the machine: check the request, open the card data,
// seal the result block for the merchant and sign the reply.
void CryptoGateway(benchmark::State& state) {
  const size_t tail = world->request.rfind("Tail: ");
  const std::string body = world->request.substr(0, tail);
  const std::string signature = Item(world->request, "Tail");
  const std::string replyBody = world->reply.substr(0, world->reply.find("Tail"));
  for (auto _ : state) {
    std::string plain, sessionKey, encrypted, replySignature;
    orv::VerifySignature(world->merchantPublic.get(), body, signature);
    orv::OpenSealedReply(world->gatewayPrivate.get(), world->cardSessionKey, world->cardEncrypted,
                         plain);
    orv::SealRequestData(world->merchantPublic.get(), world->decrypted, sessionKey, encrypted);
    orv::SignText(world->gatewayPrivate.get(), replyBody, replySignature);
    benchmark::DoNotOptimize(replySignature);
  }
}

// The transaction's log lines, each flushed to disk, into a file of the same directory.
void LogLines(benchmark::State& state) {
  orv::TransactionLog log;
  if (log.Open(world->directory + "log/ORVbench_" + kMid + ".log", 1) != 1)
    state.SkipWithError("cannot open the log");
  for (auto _ : state)
    for (const std::string& line : world->logLines) log.Write(orv::LogLevel::Info, line);
}

// The same exchange with canned messages of the same sizes: connect, request and reply,
// acknowledgement and echo, close.
void Network(benchmark::State& state) {
  testgw::TestGateway echo(kEchoAddress, [](const testgw::Request& request) {
    return request.body.starts_with("Ack:") ? testgw::Reply(request.body)
                                            : testgw::Reply(world->reply, testgw::Then::ReadNext);
  });
  const net::Session session;
  orv::GatewayConnection connection;
  connection.gateways = {kEchoAddress, kEchoAddress, kEchoAddress, kEchoAddress};
  for (auto _ : state) {
    std::string reply, echoed;
    if (connection.Connect() != 1 || connection.SendFrame(world->request) != 1 ||
        connection.ReceiveFrame(reply) != 1 || connection.SendFrame(world->ack) != 1 ||
        connection.ReceiveFrame(echoed) != 1)
      state.SkipWithError("exchange failed");
    connection.Close();
  }
}

BENCHMARK(Transaction)->Threads(1)->Threads(2)->UseRealTime()->MinTime(3);
BENCHMARK(CryptoModule)->UseRealTime();
BENCHMARK(CryptoGateway)->UseRealTime();
BENCHMARK(LogLines)->UseRealTime()->MinTime(3);
BENCHMARK(Network)->UseRealTime()->MinTime(3);

// Keeps each benchmark's real time per iteration, to print the shares after the usual table.
class ShareReporter : public benchmark::ConsoleReporter {
 public:
  ShareReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.run_name.function_name + "/" + std::to_string(run.threads)] =
            run.GetAdjustedRealTime();
  }

  void PrintShares() const {
    const double whole = Time("Transaction/1");
    if (whole <= 0) return;
    std::printf("\none transaction (1 client thread): %.3f ms, %.0f per second\n", whole / 1e6,
                1e9 / whole);
    const double crypto = Time("CryptoModule/1") + Time("CryptoGateway/1");
    const double parts[] = {Time("CryptoModule/1"), Time("CryptoGateway/1"), Time("LogLines/1"),
                            Time("Network/1")};
    const char* names[] = {"crypto, module side", "crypto, test gateway side",
                           "log lines, each flushed", "network exchange (loopback)"};
    double sum = 0;
    for (size_t i = 0; i < std::size(parts); ++i) {
      std::printf("  %-30s %6.1f%%\n", names[i], 100 * parts[i] / whole);
      sum += parts[i];
    }
    std::printf("  %-30s %6.1f%%\n", "rest (composing, parsing, ...)", 100 * (whole - sum) / whole);
    std::printf("  crypto of both sides together  %6.1f%%\n", 100 * crypto / whole);
    // A threaded run's time is the wall time per transaction of all threads together.
    const double two = Time("Transaction/2");
    if (two > 0) std::printf("throughput with 2 client threads / with 1: %.2f\n", whole / two);
  }

 private:
  double Time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  World theWorld;
  world = &theWorld;
  ShareReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintShares();
  benchmark::Shutdown();
}
