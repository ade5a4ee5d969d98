// TransactionFields: every request, result and work text of one payment transaction, and the
// two name tables through which scripts write (SetField) and read (GetResult) them.
// Texts are byte strings in code page 949; every limit counts bytes.
// A TransactionFields belongs to one Transaction and is used by one thread at a time.
#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// Reply items that have no field of their own, in reply order, answered by GetResult for
// names outside its fixed table. Keeps the first kCapacity entries and drops the rest.
class ExtraResults {
 public:
  static constexpr size_t kCapacity = 200;
  struct Entry {
    std::string name;
    std::string value;
  };

  void Clear() { entries_.clear(); }
  // Returns false (and stores nothing) once the table is full.
  bool Add(std::string name, std::string value);
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<Entry>& Entries() const { return entries_; }
  // First entry whose name equals `lowerName` without regard to case, or nullptr.
  const std::string* Find(std::string_view lowerName) const;

 private:
  std::vector<Entry> entries_;
};

struct EvpPkeyFree {
  void operator()(EVP_PKEY* key) const;
};
using MerchantKey = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

struct TransactionFields {
  ExtraResults extraResults;
  int testMode = 0;   // set by SetField("test", "true"); never cleared
  int debugMode = 0;  // set by SetField("debug", "true"); never cleared

  std::string moduleDirectory;  // ends with "/"; base of the log and key directories
  std::string type;
  std::string typeLabel;
  std::string pgid;
  std::string admin;  // the merchant's key password: never readable by name
  std::string spgip;
  std::string mid;
  std::string language;
  std::string tid;
  std::string oldtid;
  std::string signature;
  std::string goodname;
  std::string currency;
  std::string price;
  std::string buyername;
  std::string buyertel;
  std::string buyeremail;
  std::string recvname;
  std::string recvtel;
  std::string recvaddr;
  std::string recvpostnum;
  std::string recvmsg;
  std::string cardcode;
  std::string paymethod;
  std::string merchantreserved1;
  std::string merchantreserved2;
  std::string merchantreserved3;
  std::string uip;
  std::string url;
  std::string billingperiod;
  std::string payoption;
  std::string encrypted;
  std::string sessionkey;
  std::string uid;
  std::string quotainterest;
  std::string cardnumber;
  std::string price1;
  std::string price2;
  std::string cardquota;
  std::string bankcode;
  std::string bankaccount;
  std::string regnumber;
  std::string cmsday;
  std::string cmsdatefrom;
  std::string cmsdateto;
  std::string cmstype;
  std::string price_org;
  std::string ocbnumber;
  std::string ocbpasswd;
  std::string authentification;
  std::string authfield1;
  std::string authfield2;
  std::string authfield3;
  std::string passwd;
  std::string cardexpy;
  std::string cardexpm;
  std::string cardexpire;
  std::string ocbcardtype;
  std::string merchantreserved;
  std::string msg;
  std::string resultcode;
  std::string resultmsg;
  std::string authcode;
  std::string point;
  std::string authcertain;
  std::string ocbsaveauthcode;
  std::string ocbuseauthcode;
  std::string ocbauthdate;
  std::string pgauthdate;
  std::string pgauthtime;
  std::string pgcanceldate;
  std::string pgcanceltime;
  std::string requestMessage;
  std::string replyMessage;
  std::string decryptedReply;
  std::string cmsbankcode;
  std::string cmsbankaccount;
  std::string cmsserial;
  std::string cmscmsno;
  std::string companynumber;
  std::string cardissuercode;
  std::string eventflag;
  std::string billkey;
  std::string cardpass;
  std::string cardkind;
  std::string perno;
  std::string void_;  // the field "void"
  std::string vacct;
  std::string vcdbank;
  std::string dtinput;
  std::string nminput;
  std::string nmvacct;
  std::string hpptype;
  std::string hppnumber;
  std::string hppregnumber;
  std::string hppauthnumber;
  std::string hppcotype;
  std::string hppauthserial;
  std::string hppcorp;
  std::string hppphoneid;
  std::string hppoid;
  std::string hppsid;
  std::string pid;
  std::string nohpp;
  std::string noars;
  std::string cavv;
  std::string xid;
  std::string eci;
  std::string mtid;
  std::string escrowtype;
  std::string escrowmsg;
  std::string oid;
  std::string moid;
  std::string codegw;
  std::string parentemail;
  std::string ocbcardnumber;
  std::string cultureid;
  std::string directbankacc;
  std::string directbankcode;
  std::string tidOrg;         // partial-cancel results of a re-approval reply
  std::string prRemains;
  std::string flgPartcancel;
  std::string cntPartcancel;
  std::string confirm_price;
  std::string cr_price;
  std::string sup_price;
  std::string tax;
  std::string srvc_price;
  std::string reg_num;
  std::string useopt;
  std::string resultpcrpice;
  std::string resultsupplyprice;
  std::string resulttax;
  std::string resultserviceprice;
  std::string resultuseopt;
  std::string resultcashnoappl;
  std::string rcash_rslt;
  std::string rcash_cancel_noappl;
  std::string remain_price;

  MerchantKey merchantKey;  // this transaction's reference to the cached merchant key

  // The body of SetField: the name (case-insensitive) picks the member, the value is cut to
  // the member's byte limit and, for some members, has its line breaks made blanks. Unknown
  // names are ignored. "type" also sets typeLabel; "test" and "debug" only ever set a flag.
  void SetNamedField(std::string_view name, std::string value);

  // The body of GetResult: a fixed name reads its member (even when empty); any other name
  // is looked up in extraResults; "" when neither knows it.
  std::string GetNamedResult(std::string_view name) const;

  // Builds the 40-character transaction identifier from pgid, mid, the time stamp and the
  // last three digits of the handle. Returns 1, or 0 when it is shorter than 40 characters
  // (the short text stays in `tid`).
  int MakeTid(int handle);
};

}  // namespace orv
