#include "driver.h"

#include <initializer_list>
#include <span>

#include "acknowledgement.h"
#include "action_types.h"
#include "format.h"
#include "redaction.h"
#include "reply.h"
#include "request.h"
#include "security.h"
#include "text.h"

namespace orv {

namespace {

constexpr int kTidFailed = 9401;

bool IsOneOf(std::string_view type, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names)
    if (EqualsNoCase(type, name)) return true;
  return false;
}

// ---- The debug dump of the request fields ----------------------------------------------

using F = TransactionFields;
using Member = std::string F::*;

struct DumpLine {
  std::string_view label;
  Member member;
  bool always;  // false: only when the member is not empty
};

constexpr DumpLine Always(std::string_view label, Member member) { return {label, member, true}; }
constexpr DumpLine IfSet(std::string_view label, Member member) { return {label, member, false}; }

constexpr DumpLine kEscrowDump[] = {
    Always("ESCROW TYPE:", &F::escrowtype),
    Always("ESCROW MSG:", &F::escrowmsg),
};
constexpr DumpLine kEveryTypeDump[] = {
    Always("MID:", &F::mid),
    Always("TYPE:", &F::type),
};
constexpr DumpLine kGatewayDump[] = {
    Always("PGID:", &F::pgid),
    Always("KEYPW:", &F::admin),
    Always("SUBPGIP:", &F::spgip),
    Always("APPPATH:", &F::moduleDirectory),
};
constexpr DumpLine kOcbQueryDump[] = {
    Always("OCBNUMBER:", &F::ocbnumber),
};
// securepay, secure_pay, formpay, ocbsave
constexpr DumpLine kPaymentDump[] = {
    IfSet("UID:", &F::uid),
    Always("URL:", &F::url),
    Always("UIP:", &F::uip),
    Always("PRICE:", &F::price),
    Always("GOODNAME:", &F::goodname),
    Always("CURRENCY:", &F::currency),
    Always("BUYERNAME:", &F::buyername),
    Always("BUYERTEL:", &F::buyertel),
    Always("BUYEREMAIL:", &F::buyeremail),
    Always("PAYMETHOD:", &F::paymethod),
    Always("HppType:", &F::hpptype),
    IfSet("RECVNAME:", &F::recvname),
    IfSet("RECVTEL:", &F::recvtel),
    IfSet("RECVADDR:", &F::recvaddr),
    IfSet("RECVPOSTNUM:", &F::recvpostnum),
    IfSet("RECVMSG:", &F::recvmsg),
    IfSet("CARDCODE:", &F::cardcode),
    IfSet("LANGUAGE:", &F::language),
    IfSet("HppType:", &F::hpptype),
    IfSet("BILLINGPERIOD:", &F::billingperiod),
    IfSet("MERCHANTRESERVED1:", &F::merchantreserved1),
    IfSet("MERCHANTRESERVED2:", &F::merchantreserved2),
    IfSet("MERCHANTRESERVED3:", &F::merchantreserved3),
    IfSet("PARENTEMAIL:", &F::parentemail),
};
// securepay, secure_pay, ocbsave: the data sealed elsewhere
constexpr DumpLine kSealedDump[] = {
    Always("ENCRYPTED:", &F::encrypted),
    Always("SESSIONKEY:", &F::sessionkey),
};
constexpr DumpLine kFormPayDump[] = {
    IfSet("PRICE1:", &F::price1),
    IfSet("PRICE2:", &F::price2),
    IfSet("CARDNUMBER:", &F::cardnumber),
    IfSet("CARDEXPY:", &F::cardexpy),
    IfSet("CARDEXPM:", &F::cardexpm),
    IfSet("CARDQUOTA:", &F::cardquota),
    IfSet("QUOTAINTEREST:", &F::quotainterest),
    IfSet("AUTHENTIFICATION:", &F::authentification),
    IfSet("AUTHFIELD1:", &F::authfield1),
    IfSet("AUTHFIELD2:", &F::authfield2),
    IfSet("AUTHFIELD3:", &F::authfield3),
    IfSet("BANKCODE:", &F::bankcode),
    IfSet("BANKACCOUNT:", &F::bankaccount),
    IfSet("REGNUMBER:", &F::regnumber),
    IfSet("CMSDAY:", &F::cmsday),
    IfSet("CMSDATEFROM:", &F::cmsdatefrom),
    IfSet("CMSDATETO:", &F::cmsdateto),
    IfSet("CMSTYPE:", &F::cmstype),
    IfSet("PRICEORG:", &F::price_org),
    IfSet("OCBNUMBER:", &F::ocbnumber),
    IfSet("OCBPASSWD:", &F::ocbpasswd),
    IfSet("OCBCARDTYPE:", &F::ocbcardtype),
    IfSet("PASSWD:", &F::passwd),
    IfSet("CAVV:", &F::cavv),
    IfSet("XID:", &F::xid),
    IfSet("ECI:", &F::eci),
    IfSet("MTID:", &F::mtid),
    IfSet("OID:", &F::oid),
    IfSet("PHONEID:", &F::hppphoneid),
    IfSet("HPPSID:", &F::hppsid),
};
constexpr DumpLine kRepayDump[] = {
    IfSet("UID:", &F::uid),
    Always("URL:", &F::url),
    Always("UIP:", &F::uip),
    Always("OLDTID:", &F::oldtid),
    IfSet("CARDQUOTA:", &F::cardquota),
    IfSet("QUOTAINTEREST:", &F::quotainterest),
    IfSet("PRICE:", &F::price),
    IfSet("GOODNAME:", &F::goodname),
    IfSet("CURRENCY:", &F::currency),
    IfSet("BUYERNAME:", &F::buyername),
    IfSet("BUYERTEL:", &F::buyertel),
    IfSet("BUYEREMAIL:", &F::buyeremail),
    IfSet("OLDTID:", &F::tidOrg),
    IfSet("PR_REMAINS:", &F::prRemains),
    IfSet("FLG_PARTCANCEL:", &F::flgPartcancel),
    IfSet("CNT_PARTCANCEL:", &F::cntPartcancel),
    IfSet("MERCHANTRESERVED1:", &F::merchantreserved1),
    IfSet("MERCHANTRESERVED2:", &F::merchantreserved2),
    IfSet("MERCHANTRESERVED3:", &F::merchantreserved3),
};
constexpr DumpLine kReqRealBillDump[] = {
    IfSet("UID:", &F::uid),
    Always("URL:", &F::url),
    Always("UIP:", &F::uip),
    Always("BILLKEY:", &F::billkey),
    Always("AUTHENTIFICATION:", &F::authentification),
    IfSet("CARDQUOTA:", &F::cardquota),
    IfSet("QUOTAINTEREST:", &F::quotainterest),
    IfSet("PRICE:", &F::price),
    IfSet("GOODNAME:", &F::goodname),
    IfSet("CURRENCY:", &F::currency),
    IfSet("BUYERNAME:", &F::buyername),
    IfSet("BUYERTEL:", &F::buyertel),
    IfSet("BUYEREMAIL:", &F::buyeremail),
    IfSet("MERCHANTRESERVED1:", &F::merchantreserved1),
    IfSet("MERCHANTRESERVED2:", &F::merchantreserved2),
    IfSet("MERCHANTRESERVED3:", &F::merchantreserved3),
};
constexpr DumpLine kReceiptDump[] = {
    IfSet("UID:", &F::uid),
    IfSet("GOODNAME:", &F::goodname),
    IfSet("CURRENCY:", &F::currency),
    IfSet("BUYERNAME:", &F::buyername),
    IfSet("CashReceiptPrice:", &F::cr_price),
    IfSet("CashReceiptSupplyPrice:", &F::sup_price),
    IfSet("CashReceiptAddedTax:", &F::tax),
    IfSet("CashReceiptServicePrice:", &F::srvc_price),
    IfSet("CashReceiptRegNum:", &F::reg_num),
    IfSet("CashReceiptUseOpton:", &F::useopt),
};
constexpr DumpLine kOtherDump[] = {
    Always("TID:", &F::tid),
    IfSet("MSG:", &F::msg),
    IfSet("MERCHANTRESERVED:", &F::merchantreserved),
};

void Dump(TransactionLog& log, const F& f, std::span<const DumpLine> lines) {
  for (const DumpLine& line : lines) {
    const std::string& value = f.*line.member;
    if (!line.always && value.empty()) continue;
    const std::string_view name = line.label.substr(0, line.label.size() - 1);  // no ":"
    log.Write(LogLevel::Debug, std::string(line.label) + RedactedValue(name, value));
  }
}

void DumpFields(TransactionLog& log, const F& f) {
  const std::string_view type = f.type;
  if (IsOneOf(type, {"escrow"})) Dump(log, f, kEscrowDump);
  Dump(log, f, kEveryTypeDump);
  if (IsOneOf(type, {"ocbquery"})) {
    Dump(log, f, kOcbQueryDump);
  } else {
    Dump(log, f, kGatewayDump);
  }
  if (IsOneOf(type, {"securepay", "secure_pay", "formpay", "ocbsave"})) {
    Dump(log, f, kPaymentDump);
    if (IsOneOf(type, {"formpay"})) {
      Dump(log, f, kFormPayDump);
    } else {
      Dump(log, f, kSealedDump);
    }
  } else if (IsOneOf(type, {"repay"})) {
    Dump(log, f, kRepayDump);
  } else if (IsOneOf(type, {"reqrealbill"})) {
    Dump(log, f, kReqRealBillDump);
  } else if (IsOneOf(type, {"receipt"})) {
    Dump(log, f, kReceiptDump);
  } else {
    Dump(log, f, kOtherDump);
  }
}

// ---- The run -----------------------------------------------------------------------------

// One run of the driver. Each step returns false after it has ended the run on a failure.
class Run {
 public:
  explicit Run(Transaction& t) : t_(t), f_(t.fields), profile_(ProfileOf(t.fields.type)) {}

  void Go() {
    t_.socketLibrary.emplace();
    t_.awaitingAck = false;
    t_.log.SetDebugSwitch(f_.debugMode);
    if (f_.debugMode) DumpFields(t_.log, f_);
    if (!CheckFields() || !MakeTransactionId() || !LoadKeys() || !EncryptFields() ||
        !EncryptEscrow())
      return;
    ComposeRequest();
    if (!SignRequest() || !ConnectToGateway() || !SendRequest() || !ReceiveReply() ||
        !CheckSignature() || !DecryptReplyBlock())
      return;
    ParseReply(f_);
    Info("PARSE OK");
    if (profile_.awaitsAck && f_.resultcode == "00") {
      Info("WAIT ACK INVOKING");
      t_.awaitingAck = true;
      return;
    }
    EndTransaction(t_, f_.resultmsg);
  }

 private:
  bool CheckFields() {
    const int code = CheckRequiredFields(f_);
    if (code != 1) {
      Error(Format("CHECK FIELD FAIL (%d)", code));
      return Fail(FieldCheckMessage(code, f_.typeLabel));
    }
    Info("CHECK FIELD OK");
    return true;
  }

  bool MakeTransactionId() {
    if (!profile_.makesTid) return true;
    if (f_.MakeTid(t_.handle) != 1) {
      Error("MAKE TID FAIL");
      return Fail(Message(kTidFailed, "TID 생성 오류"));
    }
    Info("MAKE TID OK " + f_.tid);
    return true;
  }

  bool LoadKeys() {
    if (!profile_.loadsKeys) return true;
    int code = LoadGatewayKey(f_);
    if (code != 1) {
      Error(Format("GET PGPUB KEY FAIL (%d)", code));
      return Fail(Message(code, "PG 공개키 로드 오류"));
    }
    Info("GET PGPUB KEY OK");
    code = GetMerchantKey(f_);
    if (code != 1) {
      Error(Format("GET %s's PRIV KEY FAIL (%d)", f_.mid.c_str(), code));
      return Fail(Message(code, "상점 개인키 로드 오류"));
    }
    Info(Format("GET %s's PRIV KEY OK", f_.mid.c_str()));
    return true;
  }

  bool EncryptFields() {
    if (!profile_.encryptsFields) return true;
    const int code = EncryptRequestData(f_, MakePlainBlock(f_));
    if (code != 1) {
      Error(Format("ENCRYPT FAIL (%d)", code));
      return Fail(Message(code, "암호화 오류"));
    }
    Info("ENCRYPT OK");
    Debug("ENCRYPTED:[" + f_.encrypted + "]");
    Debug("SESSIONKEY:[" + f_.sessionkey + "]");
    return true;
  }

  bool EncryptEscrow() {
    if (!profile_.encryptsEscrow) return true;
    const int code = EncryptEscrowMessage(f_);
    if (code != 1) {
      Error(Format("SYMMETRIC ENCRYPT FAIL (%d)", code));
      // This message alone prints its code without a width.
      return Fail(Format("[%d][%s실패|암호화 오류]", code, f_.typeLabel.c_str()));
    }
    Info("SYMMETRIC ENCRYPT OK");
    return true;
  }

  void ComposeRequest() {
    MakeRequestMessage(f_);
    Info("MAKE MSG OK");
    if (f_.debugMode) DumpMessage(LogLevel::Debug, "MSG_TO_PG", f_.requestMessage);
  }

  bool SignRequest() {
    if (!profile_.signsRequest) return true;
    const int code = SignRequestMessage(f_);
    if (code != 1) {
      Error(Format("SIGN FAIL (%d)", code));
      DumpRequestWhenNotDebugging();
      return Fail(Message(code, "서명 오류"));
    }
    Info("SIGN OK");
    Debug("SIGNATURE:[" + f_.signature + "]");
    return true;
  }

  bool ConnectToGateway() {
    Info("PG 소켓 연결 시작");
    GatewayConnection& connection = t_.connection;
    connection.subPgAddress = f_.spgip;
    connection.testMode = f_.testMode;
    connection.kind = profile_.connectionKind;
    if (IsOneOf(f_.type, {"escrow"})) connection.escrowMode = 1;
    connection.gateways = GatewayAddressesOf(f_.moduleDirectory);
    Info("PG 소켓 create 시작");
    const int code = connection.Connect();
    if (code != 1) {
      Error(IsOneOf(f_.type, {"auth_bill"})
                ? Format("CONNECT PG FAIL (RTV:%d WSA:%d port:%d )", code, connection.lastError,
                         PortOf(ConnectionKind::Billing))
                : Format("CONNECT PG FAIL (RTV:%d WSA:%d)", code, connection.lastError));
      return Fail(Message(code, "소켓 연결 오류"));
    }
    Info("PG 소켓 create 끝");
    Info("CONNECT PG(" + connection.PeerAddress() + ") OK");
    return true;
  }

  bool SendRequest() {
    Info("메시지 송신 시작");
    const int code = t_.connection.SendFrame(f_.requestMessage);
    if (code != 1) {
      Error(Format("SEND FAIL (RTV:%d WSA:%d)", code, t_.connection.lastError));
      DumpRequestWhenNotDebugging();
      t_.connection.Close();
      return Fail(Message(code, "소켓 송신 오류"));
    }
    Info("SEND OK");
    return true;
  }

  bool ReceiveReply() {
    const int code = t_.connection.ReceiveFrame(f_.replyMessage);
    if (code != 1) {
      Error(Format("RECV FAIL (RTV:%d WSA:%d)", code, t_.connection.lastError));
      DumpRequestWhenNotDebugging();
      t_.connection.Close();
      if (profile_.netCancelAfterReceiveFailure) ReportNetCancel(t_);
      return Fail(Message(code, "소켓 수신 오류"));
    }
    Info("RECV OK");
    if (f_.debugMode) DumpMessage(LogLevel::Debug, "MSG_FROM_PG", f_.replyMessage);
    return true;
  }

  bool CheckSignature() {
    if (profile_.checksReplySignature) {
      const int code = CheckReplySignature(f_);
      if (code != 1) {
        Error(Format("CHECK SIGN FAIL (%d)", code));
        return FailAfterReply(Message(code, "서명 확인 오류"));
      }
    }
    Info("CHECK SIGN OK");
    return true;
  }

  bool DecryptReplyBlock() {
    if (!profile_.decryptsReply) return true;
    const int code = DecryptReply(f_);
    if (code != 1) {
      Error(Format("DECRYPT FAIL (%d)", code));
      return FailAfterReply(Message(code, "복호화 오류"));
    }
    Info("DECRYPT OK");
    if (f_.debugMode) DumpMessage(LogLevel::Debug, "DECRYPTED_MSG", f_.decryptedReply);
    return true;
  }

  // A reply that fails its check or cannot be opened may still stand for a payment the gateway
  // made: for most types it is cancelled.
  bool FailAfterReply(const std::string& message) {
    if (!f_.debugMode) {
      DumpMessage(LogLevel::DebugAlways, "MSG_TO_PG", f_.requestMessage);
      DumpMessage(LogLevel::DebugAlways, "MSG_FROM_PG", f_.replyMessage);
    }
    t_.connection.Close();
    if (profile_.netCancelAfterReplyFailure) ReportNetCancel(t_);
    return Fail(message);
  }

  // The failure end. Always returns false, for the step to return.
  bool Fail(const std::string& message) {
    f_.resultcode = "01";
    f_.resultmsg = message;
    EndTransaction(t_, message);
    return false;
  }

  // "[%4d][<label>실패|<reason>]"
  std::string Message(int code, const char* reason) const {
    return Format("[%4d][%s실패|%s]", code, f_.typeLabel.c_str(), reason);
  }

  // A failure after signing shows the request even when the debug lines are off.
  void DumpRequestWhenNotDebugging() {
    if (!f_.debugMode) DumpMessage(LogLevel::DebugAlways, "MSG_TO_PG", f_.requestMessage);
  }

  void DumpMessage(LogLevel level, std::string_view label, std::string_view message) {
    t_.log.Write(level, std::string(label) + ":[" + RedactedMessage(message) + "]");
  }

  void Info(std::string_view message) { t_.log.Write(LogLevel::Info, message); }
  void Error(std::string_view message) { t_.log.Write(LogLevel::Error, message); }
  void Debug(std::string_view message) { t_.log.Write(LogLevel::Debug, message); }

  Transaction& t_;
  TransactionFields& f_;
  const TypeProfile& profile_;
};

}  // namespace

void RunTransaction(Transaction& transaction) { Run(transaction).Go(); }

}  // namespace orv
