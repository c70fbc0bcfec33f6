#pragma once

#include <QString>

namespace quenlor::test {

// The listing statements exactly as the server must receive them, written out in full. A
// change of a single byte in the program's statements makes the tests that use these fail.

// clang-format off
inline QString sqlListing() {
    return QString::fromUtf8(R"sql(select '' as 选择,数据库,case when right(状态,1)='\' then left(状态,len(状态)-1) else '正常' end as 状态,路径 from ( select a.name as 数据库, case when isnull(DATABASEPROPERTY(name,'IsReadOnly'),0)=1 then '只读\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsSingleUser'),0)=1 then '单用户\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsShutdown'),0)=1 then '置疑\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsEmergencyMode'),0)=1 then '紧急\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsInStandBy'),0)=1 then '只读\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsDetached'),0)=1 then '脱机\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsDboOnly'),0)=1 then 'DBO\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsInLoad'),0)=1 then '装载\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsInRecovery'),0)=1 then '恢复\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsOffline'),0)=1 then '脱机\' else '' end+ case when isnull(DATABASEPROPERTY(name,'IsSuspect'),0)=1 then '可疑\' else '' end as 状态, a.filename as 路径 from master..sysdatabases as a where name not in ('master','model','msdb','Northwind','pubs','tempdb'))as a order by 数据库 )sql");
}

inline QString tplusListing() {
    return QString::fromUtf8(R"sql( Select distinct '' as 选择, a.name as 数据库, case when b.dsname is null then null else b.cacc_num end as 账套号, case when b.dsname is null then null else b.cacc_name end as 账套名称, b.iyear as 开始年度, case when b.dsname is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态, case when a.filename is null then '' else a.filename end as 路径 from master..sysdatabases as a full join UFTSystem..EAP_Account as b on a.name=b.dsname where a.name like 'uftdata%' or b.dsname is not null order by case when b.dsname is null then null else b.cacc_num end)sql");
}

inline const QString kAccountQuery =
    "select '['+cAcc_Id+']'+cAcc_Name as Acc from ufsystem..ua_account order by cAcc_Id";

inline QString accountSetListing() {
    return QString::fromUtf8(R"sql(Select distinct '' as 选择, case when cacc_id is null then substring(name,8,3) else cacc_id end as 账套号, case when cacc_id is null then '' else cacc_name end as 账套名称, case when cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态 from master..sysdatabases full join ufsystem..ua_account on name like 'ufdata_'+cacc_id+'_[12][0-9][0-9][0-9]' where name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or cacc_id is not null order by case when cacc_id is null then substring(name,8,3) else cacc_id end)sql");
}

// The year listing of the classic catalogue; `likeCode` is the account code as it must stand
// inside the LIKE pattern.
inline QString yearListing(const QString& likeCode) {
    return QString::fromUtf8(R"sql(Select distinct '' as 选择, case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end as 账套号, case when b.cacc_id is null then '' else c.cacc_name end as 账套名称, b.iyear as 年度, case when b.cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态, case when a.filename is null then '' else a.filename end as 路径 from master..sysdatabases as a full join ufsystem..ua_period as b on name='ufdata_'+b.cacc_id+'_'+cast(b.iyear as varchar(4)) left join ufsystem..ua_account as c on b.cacc_id=c.cacc_id where b.bisdelete=0 and (name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or b.cacc_id is not null) and (isnull(b.cacc_id,'') like ')sql") +
           likeCode + QString::fromUtf8(R"sql(') order by case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end,b.iyear)sql");
}

// The year listing of the newer catalogue, years shown as ranges.
inline QString yearRangeListing(const QString& likeCode) {
    return QString::fromUtf8(R"sql(select distinct 选择,账套号,账套名称,年度,状态,路径 from ( select distinct '' as 选择,  case when b.cacc_id is null then substring(name,8,3) else b.cacc_id end as 账套号, case when b.cacc_id is null then '' else c.cacc_name end as 账套名称, cast(b.ibeginyear as varchar(4))+'-'+case when iendyear is null then cast(d.ieyear as varchar(4)) else cast(b.iendyear as varchar(4)) end as 年度, case when b.cacc_id is null then '系统管理控制之外' when name is null then '物理数据库丢失' else '正常' end as 状态, case when a.filename is null then '' else a.filename end as 路径, b.ibeginyear as 开始年度, case when b.iendyear is null then d.ieyear else b.iendyear end 结束年度 from master..sysdatabases as a full join ufsystem..UA_AccountDatabase as b on a.name=b.cdatabase left join ufsystem..ua_account as c on b.cacc_id=c.cacc_id left join (select cacc_id,min(iyear) as ibyear,max(iyear) as ieyear from ufsystem..ua_period group by cacc_id) as d on b.cacc_id=d.cacc_id where (name like 'ufdata_[0-9][0-9][0-9]_[12][0-9][0-9][0-9]' or b.cacc_id is not null))as a  Inner Join (select distinct cAcc_Id,iYear from ufsystem..UA_Period where bIsDelete=0) as b on a.账套号=b.cAcc_Id where b.iYear between a.开始年度 and a.结束年度 and (isnull(账套号,'') like ')sql") +
           likeCode + QString::fromUtf8(R"sql(') order by 账套号,年度)sql");
}

// clang-format on

} // namespace quenlor::test
